# What goes onto the device, and what the program needs of it.
#
# `cmake --install` puts the stripped program, each language's pages and the
# static folder into the device's layout under the install prefix (default
# "/", the firmware root); DESTDIR stages it elsewhere. The devkit libraries,
# s2n-devkit, s2n-introspect, the tests and the benchmarks are never
# installed: the device brings its own platform libraries.

# CMake's own default (/usr/local) becomes the firmware root, also in a
# build folder configured before these settings existed; a prefix chosen on
# the first configure stays.
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT OR (CMAKE_INSTALL_PREFIX STREQUAL "/usr/local"
        AND DEFINED CACHE{CMAKE_CACHEFILE_DIR} AND NOT DEFINED CACHE{S2N_INSTALL_CGIDIR}))
    set(CMAKE_INSTALL_PREFIX "/" CACHE PATH "The firmware root the install paths hang from" FORCE)
endif()
set(S2N_INSTALL_CGIDIR "www/cgi-bin" CACHE STRING
    "Where the web server runs CGI programs (relative: below the install prefix)")
set(S2N_INSTALL_WWWDIR "www" CACHE STRING
    "Where the platform library looks for a language's template folder <lang>/ (relative: below the prefix)")
set(S2N_INSTALL_STATICDIR "${S2N_INSTALL_CGIDIR}/static" CACHE STRING
    "The pages' script and stylesheet, served as plain files beside the program (relative: below the prefix)")

# The build's program keeps its symbols and the run path to the devkit
# libraries; the installed one has neither. Stripping happens at install
# time, so `cmake --install` alone gives the device's file.
install(TARGETS s2n_service_mode.cgi RUNTIME DESTINATION ${S2N_INSTALL_CGIDIR})
set(s2n_strip "${CMAKE_STRIP}")
install(CODE "
    set(dir \"${S2N_INSTALL_CGIDIR}\")
    if(NOT IS_ABSOLUTE \"\${dir}\")
        set(dir \"\${CMAKE_INSTALL_PREFIX}/\${dir}\")
    endif()
    set(program \"\$ENV{DESTDIR}\${dir}/s2n_service_mode.cgi\")
    execute_process(COMMAND \"${s2n_strip}\" --strip-all \"\${program}\" RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR \"stripping \${program} failed\")
    endif()")

# A development build writes its trace lines and save lock into its build
# folder: say so when such a build is installed.
if(NOT S2N_CONSOLE STREQUAL "/dev/console" OR NOT S2N_LOCK STREQUAL "/var/run/s2n_service_mode.lock")
    install(CODE "message(STATUS \"Note: this program writes its trace lines to ${S2N_CONSOLE} \"
        \"and its save lock to ${S2N_LOCK}, not to the device's /dev/console and /var/run \"
        \"(the device preset builds the device's program)\")")
endif()

foreach(lang ${S2N_LANGUAGES})
    set(s2n_lang_pages "")
    foreach(page ${S2N_PAGES})
        list(APPEND s2n_lang_pages ${PROJECT_BINARY_DIR}/www/${lang}/${page})
    endforeach()
    install(FILES ${s2n_lang_pages} DESTINATION ${S2N_INSTALL_WWWDIR}/${lang})
endforeach()
file(GLOB S2N_STATIC_FILES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/www/static/*)
install(FILES ${S2N_STATIC_FILES} DESTINATION ${S2N_INSTALL_STATICDIR})

# The firmware tarball: the install of this build, to unpack over a firmware
# root (build/<preset>/s2n_service_mode-firmware.tar.gz).
set(S2N_FIRMWARE ${PROJECT_BINARY_DIR}/s2n_service_mode-firmware.tar.gz)
add_custom_target(firmware
    COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR} -DSTAGE=${PROJECT_BINARY_DIR}/firmware-root
        -DTARBALL=${S2N_FIRMWARE} -P ${PROJECT_SOURCE_DIR}/cmake/firmware.cmake
    COMMENT "Installing into build/<preset>/firmware-root and packing ${S2N_FIRMWARE}" VERBATIM)
add_dependencies(firmware s2n_service_mode.cgi s2n_pages)

# What the program needs of the device, stated after each link in
# s2n_service_mode.needs beside it: the libraries (NEEDED), the symbols it
# takes from each, what it exports and the C library's symbol versions.
if(CMAKE_READELF)
    set(S2N_READELF ${CMAKE_READELF})
else()
    find_program(S2N_READELF NAMES readelf REQUIRED)
endif()
set(S2N_NEEDS ${PROJECT_BINARY_DIR}/s2n_service_mode.needs)
add_custom_command(OUTPUT ${S2N_NEEDS}
    COMMAND ${S2N_PYTHON} ${PROJECT_SOURCE_DIR}/scripts/device-lists needs
        --readelf ${S2N_READELF} --out ${S2N_NEEDS}
        $<TARGET_FILE:s2n_service_mode.cgi> $<TARGET_FILE:devcfg> $<TARGET_FILE:webcgi>
    DEPENDS s2n_service_mode.cgi $<TARGET_FILE:devcfg> $<TARGET_FILE:webcgi>
        ${PROJECT_SOURCE_DIR}/scripts/device-lists
    COMMENT "Stating what the program needs of the device" VERBATIM)
add_custom_target(s2n_needs ALL DEPENDS ${S2N_NEEDS})
