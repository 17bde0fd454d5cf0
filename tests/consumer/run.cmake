# Installs the package twice, with a static and with a shared libssmsg (the build under test
# gives one; the other is built from the same sources in WORK_DIR), and for each builds the
# consumer project against the installed package alone, through its CMake package and through its
# pkg-config file, and runs it.
#   cmake -DBUILD_DIR=... -DPROJECT_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... -DSITE=... -DSHARED=ON|OFF
#         [-DTOOL=ON] [-DSANITIZE=address,undefined] -P run.cmake
# A library built with sanitizers needs a consumer built with the same ones.
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed (${status}): ${ARGN}")
  endif()
endfunction()

set(flags)
if(SANITIZE)
  set(flags -DCMAKE_CXX_FLAGS=-fsanitize=${SANITIZE} -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=${SANITIZE}
      -DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=${SANITIZE})
endif()

if(SHARED)
  set(this shared)
  set(other static)
  set(other_shared OFF)
else()
  set(this static)
  set(other shared)
  set(other_shared ON)
endif()

# The build under test, installed as it is.
file(REMOVE_RECURSE ${WORK_DIR}/prefix-${this})
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${WORK_DIR}/prefix-${this})
# The other kind of library, built and installed from the same sources (kept between runs, so
# that a rerun only builds what changed). What is checked is how it installs and links, not its
# code, which the build under test holds too: it is compiled without optimisation or debugging
# information, in batches of sources (a unity build), which takes a fraction of the time.
run(${CMAKE_COMMAND} -S ${PROJECT_DIR} -B ${WORK_DIR}/library-${other} -G Ninja
    -DCMAKE_BUILD_TYPE=None -DCMAKE_UNITY_BUILD=ON -DBUILD_SHARED_LIBS=${other_shared}
    -DSSMSG_BUILD_TESTS=OFF -DSSMSG_BUILD_TOOL=OFF -DSSMSG_BUILD_PYTHON=OFF ${flags})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/library-${other} --target ssmsg)
file(REMOVE_RECURSE ${WORK_DIR}/prefix-${other})
run(${CMAKE_COMMAND} --install ${WORK_DIR}/library-${other} --prefix ${WORK_DIR}/prefix-${other})

foreach(kind static shared)
  set(prefix ${WORK_DIR}/prefix-${kind})
  # The package must not depend on where it was built or installed from.
  file(GLOB_RECURSE installed_cmake ${prefix}/*.cmake ${prefix}/*.pc)
  foreach(file IN LISTS installed_cmake)
    file(READ ${file} text)
    foreach(folder ${BUILD_DIR} ${WORK_DIR} ${PROJECT_DIR})
      string(FIND "${text}" "${folder}" at)
      if(NOT at EQUAL -1)
        message(FATAL_ERROR "${file} names ${folder}")
      endif()
    endforeach()
  endforeach()
  # Only the public headers are installed, all of them directly under include/ssmsg.
  file(GLOB_RECURSE headers RELATIVE ${prefix}/include ${prefix}/include/*)
  foreach(header IN LISTS headers)
    if(NOT header MATCHES "^ssmsg/[A-Za-z_]+\\.h$")
      message(FATAL_ERROR "${kind} package installs ${header}")
    endif()
  endforeach()

  set(ENV{PKG_CONFIG_PATH} "")
  file(GLOB_RECURSE pc_files ${prefix}/*/ssmsg.pc)
  foreach(pc IN LISTS pc_files)
    get_filename_component(pc_dir ${pc} DIRECTORY)
    set(ENV{PKG_CONFIG_PATH} ${pc_dir})
    get_filename_component(lib_dir ${pc_dir} DIRECTORY)
  endforeach()
  set(work ${WORK_DIR}/consumer-${kind})
  file(REMOVE_RECURSE ${work})
  run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${work} -G Ninja -DCMAKE_PREFIX_PATH=${prefix} ${flags})
  run(${CMAKE_COMMAND} --build ${work})
  # It prints what the tool writes for the same site and task.
  execute_process(COMMAND ${work}/consumer ${SITE} OUTPUT_VARIABLE printed RESULT_VARIABLE status)
  # pkg-config gives the linker the library's folder only; at run time it is found the same way.
  execute_process(COMMAND ${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${lib_dir} ${work}/consumer_pc
                          ${SITE} OUTPUT_VARIABLE printed_pc RESULT_VARIABLE status_pc)
  if(NOT status EQUAL 0 OR NOT status_pc EQUAL 0 OR NOT printed STREQUAL printed_pc
     OR NOT printed MATCHES "^<Command>.*InputClearAll")
    message(FATAL_ERROR "the ${kind} consumer failed (${status}, ${status_pc}):\n${printed}")
  endif()
endforeach()

if(TOOL)
  execute_process(COMMAND ${WORK_DIR}/prefix-${this}/bin/ssmsg settings --config ${SITE} --task 161
                  OUTPUT_VARIABLE written RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT written STREQUAL printed)
    message(FATAL_ERROR "the installed tool wrote other messages than the consumer printed")
  endif()
endif()
