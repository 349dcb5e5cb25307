# Installs a build into a fresh staging root and packs that root as a
# tarball to unpack over a firmware root:
#   cmake -DBUILD_DIR=<build> -DSTAGE=<dir> -DTARBALL=<file.tar.gz> [-DPREFIX=/] -P firmware.cmake
# The archive is reproducible: entries sorted, owned by root, one fixed
# time, no "./" entry that would change the firmware root's own mode.
foreach(var BUILD_DIR STAGE TARBALL)
    if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
        message(FATAL_ERROR "firmware: ${var} is not set")
    endif()
endforeach()
if(NOT DEFINED PREFIX)
    set(PREFIX /)
endif()

file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${STAGE})
execute_process(COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${STAGE}
        ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
    OUTPUT_QUIET RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "firmware: installing ${BUILD_DIR} into ${STAGE} failed")
endif()

file(GLOB top RELATIVE ${STAGE} ${STAGE}/*)
list(SORT top)
if(top STREQUAL "")
    message(FATAL_ERROR "firmware: the install put nothing into ${STAGE}")
endif()
execute_process(COMMAND tar --create --file=- --directory=${STAGE} --format=gnu --sort=name
        --owner=0 --group=0 --numeric-owner --mtime=@0 --mode=u+rwX,go+rX,go-w ${top}
    COMMAND gzip -n -9
    OUTPUT_FILE ${TARBALL} RESULTS_VARIABLE rc)
if(NOT rc STREQUAL "0;0")
    file(REMOVE ${TARBALL})
    message(FATAL_ERROR "firmware: packing ${TARBALL} failed (${rc})")
endif()
message(STATUS "firmware: ${TARBALL}")
