# Installs the built package into PREFIX (a folder of the build tree), then configures, builds and
# runs the consumer project against it, and runs the installed tool.
#   cmake -DBUILD_DIR=... -DPREFIX=... -DSOURCE_DIR=... -DWORK_DIR=... [-DTOOL=ON]
#         [-DSANITIZE=address,undefined] -P run.cmake
# A library built with sanitizers needs a consumer built with the same ones.
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed (${status}): ${ARGN}")
  endif()
endfunction()

file(REMOVE_RECURSE ${PREFIX} ${WORK_DIR})
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX})
# The package must not depend on where it was built or installed from.
file(GLOB_RECURSE installed_cmake ${PREFIX}/*.cmake ${PREFIX}/*.pc)
foreach(file IN LISTS installed_cmake)
  file(READ ${file} text)
  string(FIND "${text}" "${BUILD_DIR}" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "${file} names the build folder")
  endif()
endforeach()

set(ENV{PKG_CONFIG_PATH} "")
file(GLOB_RECURSE pc_files ${PREFIX}/*/ssmsg.pc)
foreach(pc IN LISTS pc_files)
  get_filename_component(pc_dir ${pc} DIRECTORY)
  set(ENV{PKG_CONFIG_PATH} ${pc_dir})
endforeach()
set(flags)
if(SANITIZE)
  set(flags -DCMAKE_CXX_FLAGS=-fsanitize=${SANITIZE} -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=${SANITIZE})
endif()
run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR} -G Ninja -DCMAKE_PREFIX_PATH=${PREFIX} ${flags})
run(${CMAKE_COMMAND} --build ${WORK_DIR})
run(${WORK_DIR}/consumer)
run(${WORK_DIR}/consumer_pc)
if(TOOL)
  run(${PREFIX}/bin/ssmsg tasks)
endif()
