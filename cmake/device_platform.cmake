# The device's own platform libraries, libdevcfg and libwebcgi, from the
# firmware toolchain's sysroot (CMAKE_SYSROOT or CMAKE_FIND_ROOT_PATH), in
# place of the devkit's stand-ins. The program keeps its own declarations of
# their calls (platform/include). Without the devkit there is no s2n-devkit
# and no test: the tests run against the devkit's libraries.
foreach(lib devcfg webcgi)
    string(TOUPPER ${lib} LIB)
    find_library(S2N_${LIB}_LIBRARY NAMES ${lib}
        DOC "The device's lib${lib} (found in the sysroot)")
    if(NOT S2N_${LIB}_LIBRARY)
        message(FATAL_ERROR "S2N_DEVICE_PLATFORM: lib${lib} not found in the sysroot "
            "(${CMAKE_SYSROOT} ${CMAKE_FIND_ROOT_PATH}); set S2N_${LIB}_LIBRARY to its path")
    endif()
    add_library(${lib} SHARED IMPORTED GLOBAL)
    # Linked by name (-l), so the program names the library by its file or
    # SONAME, never by the sysroot's path.
    set_target_properties(${lib} PROPERTIES
        IMPORTED_LOCATION ${S2N_${LIB}_LIBRARY} IMPORTED_NO_SONAME TRUE)
    message(STATUS "Device platform library: ${S2N_${LIB}_LIBRARY}")
endforeach()
if(S2N_TESTS)
    message(STATUS "S2N_DEVICE_PLATFORM: no tests (they need the devkit's libraries)")
endif()
