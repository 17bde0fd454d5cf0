# Installs the package of the build with pip, as a user would from a built tree, into a folder of
# its own, and imports it from there: it must load the library that came with it.
#   cmake -DPYTHON=... -DPACKAGE=<build>/python -DWORK=... -P python_pip.cmake
file(REMOVE_RECURSE ${WORK})
execute_process(COMMAND ${PYTHON} -m pip install --quiet --no-build-isolation --no-deps --no-index
                        --target ${WORK} ${PACKAGE}
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "pip install failed (${status})")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E env PYTHONPATH=${WORK} ${PYTHON} -B -c
                        "import sys, ssmsg, ssmsg._library as l; sys.exit(not l.path.startswith(sys.argv[1]) or 161 not in ssmsg.TASKS)"
                        ${WORK}
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the package that pip installed does not load its own library")
endif()
