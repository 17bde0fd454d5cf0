# Checks the examples that the README quotes: the README holds each file as it is, the C program
# prints the input-type messages of the demo site and the polling message, and the Python one
# (when PYTHON is given) prints the same.
#   cmake -DREADME=... -DEXAMPLES="a.c;b.py" -DC_PROGRAM=... [-DPYTHON=... -DPYTHONPATH=...]
#         -DSITE=... -P examples.cmake
file(READ ${README} readme)
foreach(example IN LISTS EXAMPLES)
  file(READ ${example} text)
  string(FIND "${readme}" "${text}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "README.md does not quote ${example} as it is")
  endif()
endforeach()

execute_process(COMMAND ${C_PROGRAM} ${SITE} OUTPUT_VARIABLE printed RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT printed MATCHES "^1 1 161 <Command>[^\n]*InputClearAll"
   OR NOT printed MATCHES "\n1 2 161 <Command>" OR NOT printed MATCHES "<Start>1,2</Start>")
  message(FATAL_ERROR "the C example failed (${status}):\n${printed}")
endif()

if(PYTHON)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env PYTHONPATH=${PYTHONPATH} ${PYTHON} -B
                          ${CMAKE_CURRENT_LIST_DIR}/../examples/settings.py ${SITE}
                  OUTPUT_VARIABLE python_printed RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT python_printed STREQUAL printed)
    message(FATAL_ERROR "the Python example printed otherwise (${status}):\n${python_printed}")
  endif()
endif()
