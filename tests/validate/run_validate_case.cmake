# Runs the validate command once and checks its exit status and output.
#   -DRUNNER=<emulator;program>  -DARGS=<arguments>  -DEXIT=<expected status>
#   -DEXPECT=<regular expressions that must all match>  -DREJECT=<ones that must not>
foreach(list RUNNER ARGS EXPECT REJECT)
    string(REPLACE "@@" ";" ${list} "${${list}}")
endforeach()
execute_process(COMMAND ${RUNNER} ${ARGS}
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("${out}${err}")
if(NOT status STREQUAL "${EXIT}")
    message(FATAL_ERROR "exit status ${status}, expected ${EXIT}")
endif()
foreach(pattern IN LISTS EXPECT)
    if(NOT "${out}${err}" MATCHES "${pattern}")
        message(FATAL_ERROR "output lacks: ${pattern}")
    endif()
endforeach()
foreach(pattern IN LISTS REJECT)
    if("${out}${err}" MATCHES "${pattern}")
        message(FATAL_ERROR "output has: ${pattern}")
    endif()
endforeach()
