# Runs olvar-demo with one bad argument and checks that it refuses cleanly: exit code 2, one line
# on stderr naming the problem, nothing on stdout, no output folder and no plate written.
#
# cmake -DDEMO=<olvar-demo> -DSCRATCH=<folder> -DARGS=<comma list> -DEXPECT=<regex> -P demo_refuses.cmake
string(REPLACE "," ";" ARGS "${ARGS}")
file(REMOVE_RECURSE "${SCRATCH}")
file(MAKE_DIRECTORY "${SCRATCH}")
execute_process(COMMAND "${DEMO}" ${ARGS} --out "${SCRATCH}/out"
    WORKING_DIRECTORY "${SCRATCH}" RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT code EQUAL 2)
    message(FATAL_ERROR "exit code ${code}, expected 2\nstdout: ${out}\nstderr: ${err}")
endif()
if(NOT err MATCHES "^olvar-demo: [^\n]+\n$")
    message(FATAL_ERROR "expected one error line, got:\n${err}")
endif()
if(NOT err MATCHES "${EXPECT}")
    message(FATAL_ERROR "the error does not say '${EXPECT}':\n${err}")
endif()
if(NOT out STREQUAL "")
    message(FATAL_ERROR "unexpected output:\n${out}")
endif()
file(GLOB left "${SCRATCH}/*" "${SCRATCH}/.*")
if(left)
    message(FATAL_ERROR "left behind: ${left}")
endif()
