# Checks one ELF file's dynamic section:
#   cmake -DREADELF=<readelf> -DFILE=<elf> [-DEXPORTS=sym1,sym2] -P check_deps.cmake
# Fails when the file needs libstdc++ or libgcc_s at run time, when it needs
# no library at all (a sign that readelf's output was not understood), or
# when a symbol named in EXPORTS is not a defined global object in its
# dynamic symbol table.
foreach(var READELF FILE)
    if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
        message(FATAL_ERROR "check_deps: ${var} is not set")
    endif()
endforeach()

execute_process(COMMAND ${READELF} -d -W ${FILE}
    OUTPUT_VARIABLE dynamic ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${READELF} -d ${FILE} failed (${rc}): ${err}")
endif()

string(REGEX MATCHALL "\\(NEEDED\\)[^\n]*\\[[^]\n]+\\]" rows "${dynamic}")
set(needed "")
foreach(row IN LISTS rows)
    string(REGEX REPLACE ".*\\[([^]]+)\\]$" "\\1" lib "${row}")
    list(APPEND needed "${lib}")
endforeach()
if(needed STREQUAL "")
    message(FATAL_ERROR "${FILE}: no NEEDED entries found in:\n${dynamic}")
endif()
message(STATUS "${FILE} needs: ${needed}")

set(bad "")
foreach(lib IN LISTS needed)
    if(lib MATCHES "^lib(stdc\\+\\+|gcc_s)\\.")
        list(APPEND bad "${lib}")
        message(STATUS "forbidden run-time dependency ${lib}")
    endif()
endforeach()
if(bad)
    message(FATAL_ERROR "${FILE} needs ${bad} at run time")
endif()

if(DEFINED EXPORTS AND NOT EXPORTS STREQUAL "")
    execute_process(COMMAND ${READELF} --dyn-syms -W ${FILE}
        OUTPUT_VARIABLE syms ERROR_VARIABLE err RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "${READELF} --dyn-syms ${FILE} failed (${rc}): ${err}")
    endif()
    string(REPLACE "," ";" wanted "${EXPORTS}")
    foreach(sym IN LISTS wanted)
        # Num: Value Size Type Bind Vis Ndx Name; a defined symbol has a
        # section number where an undefined one has UND.
        if(NOT syms MATCHES "[ \t]OBJECT[ \t]+GLOBAL[ \t]+DEFAULT[ \t]+[0-9]+[ \t]+${sym}(\n|$)")
            message(FATAL_ERROR "${FILE} does not export the object '${sym}'")
        endif()
        message(STATUS "${FILE} exports ${sym}")
    endforeach()
endif()
