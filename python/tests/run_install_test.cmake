# Installs the build into a scratch prefix and imports the installed package from outside the
# build tree, with only PYTHONPATH set (the module finds libolvar.so through its own run path).
file(REMOVE_RECURSE ${OLVAR_SCRATCH})
set(prefix ${OLVAR_SCRATCH}/prefix)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${OLVAR_BUILD_DIR} --prefix ${prefix}
    RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "install failed: ${err}")
endif()
set(check [=[
import numpy as np, olvar, sys
assert olvar.__file__.startswith(sys.argv[1]), olvar.__file__
with olvar.Tracker(320, 240) as tracker:
    result = tracker.process(np.zeros((240, 320, 3), np.uint8))
print("installed olvar:", olvar.__file__, result.status.name)
]=])
execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH
        PYTHONPATH=${prefix}/${OLVAR_PYTHON_INSTALL_DIR} ${OLVAR_TEST_ENV}
        ${OLVAR_PYTHON} -c "${check}" ${prefix}
    WORKING_DIRECTORY ${OLVAR_SCRATCH} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "the installed package does not import (${rc}):\n${out}\n${err}")
endif()
message(STATUS "${out}")
