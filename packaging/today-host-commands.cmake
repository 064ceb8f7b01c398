# Writes the part of today-host's manual page that its --help leaves to each command: every
# command's own --help, as a help2man include file. Run by cmake -P:
#
#   -DPROGRAM=today-host -DOUTPUT=today-host.h2m
cmake_policy(VERSION 3.25)

execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE usage RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} --help failed")
endif()
# The commands are the indented words under "Commands:".
string(REGEX MATCH "Commands:\n(( +[a-z]+ [^\n]*\n)+)" block "${usage}")
string(REGEX MATCHALL "\n +[a-z]+ " names "\n${CMAKE_MATCH_1}")
if(names STREQUAL "")
    message(FATAL_ERROR "${PROGRAM} --help lists no commands")
endif()

set(text "[COMMANDS]\n")
foreach(name IN LISTS names)
    string(STRIP "${name}" name)
    execute_process(COMMAND ${PROGRAM} ${name} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${PROGRAM} ${name} --help failed")
    endif()
    # As printed, in roff's no-fill mode; a backslash is roff's escape, a line's leading dot
    # or quote its request.
    string(REPLACE "\\" "\\e" help "${help}")
    string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
    string(APPEND text ".SS \"today-host ${name}\"\n.nf\n${help}.fi\n")
endforeach()
file(WRITE ${OUTPUT} "${text}")
