# Installs the package of the build with pip, as a user would from a built tree, and imports it
# from there: it must load the library that came with it. Twice: as the README says, into a fresh
# virtual environment (which has pip and nothing else) with no package index,
#   python3 -m venv v && cd build && ../v/bin/pip install --no-index ./python
# and with the interpreter's own pip into a folder (--target).
#   cmake -DPYTHON=... -DPACKAGE=<build>/python -DWORK=... -P python_pip.cmake
function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${what} failed (${status}):\n${out}")
  endif()
endfunction()

# The check's statements are lines: run() passes its arguments on as a list, which a ; would split.
set(check "import sys, ssmsg, ssmsg._library as l, importlib.metadata as m
sys.exit(not l.path.startswith(sys.argv[1]) or 161 not in ssmsg.TASKS or m.metadata('ssmsg')['License'] != 'Apache-2.0')")
file(REMOVE_RECURSE ${WORK})
get_filename_component(build ${PACKAGE} DIRECTORY)

run("python3 -m venv" ${PYTHON} -m venv ${WORK}/v)
run("pip install into the virtual environment" ${CMAKE_COMMAND} -E chdir ${build}
    ${WORK}/v/bin/pip install --quiet --no-index ./python)
run("the package in the virtual environment, loading its own library"
    ${WORK}/v/bin/python -B -c "${check}" ${WORK}/v/)

run("pip install --target" ${PYTHON} -m pip install --quiet --no-build-isolation --no-deps
    --no-index --target ${WORK}/target ${PACKAGE})
run("the package of pip install --target, loading its own library"
    ${CMAKE_COMMAND} -E env PYTHONPATH=${WORK}/target ${PYTHON} -B -c "${check}" ${WORK}/target)
