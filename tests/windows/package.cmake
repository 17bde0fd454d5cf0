# The Windows package as its users get it: made by CPack from the build, unpacked into an empty
# folder and used from there under Wine, with nothing of the build on any path:
#   - its layout, and that its CMake and pkg-config files name no folder of this machine;
#   - bin/ssmsg.exe writes the demo site's golden messages, byte for byte;
#   - a C host that loads ssmsg.dll with LoadLibraryW and GetProcAddress alone;
#   - the C example built against lib/libssmsg.dll.a (with the README's command) and against
#     lib/ssmsg.lib, and the C interface's test built against the package, all finding
#     bin/ssmsg.dll through PATH;
#   - the C++ example built with the README's command (the GCC runtime's DLLs on PATH, as on a
#     machine with MinGW-w64), and through the package's CMake package and its pkg-config file
#     with the toolchain of this build.
#   cmake -DCPACK=... -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... -DWINE=<build>/wine/run
#         -DCC=... -DCXX=... -DTOOLCHAIN=... -DVERSION=... -DTIME=... -P package.cmake
cmake_minimum_required(VERSION 3.25)
function(run)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${run_folder} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed (${status}): ${ARGN}")
  endif()
endfunction()
function(fail text)
  message(FATAL_ERROR "${text}")
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR}/unpacked)
set(run_folder ${WORK_DIR})
run(${CPACK} -G ZIP --config ${BUILD_DIR}/CPackConfig.cmake -B ${WORK_DIR}/cpack)
set(zip ${WORK_DIR}/cpack/ssmsg-${VERSION}-win64.zip)
if(NOT EXISTS ${zip})
  fail("cpack made no ${zip}")
endif()
file(ARCHIVE_EXTRACT INPUT ${zip} DESTINATION ${WORK_DIR}/unpacked)
file(GLOB top RELATIVE ${WORK_DIR}/unpacked ${WORK_DIR}/unpacked/*)
if(NOT top STREQUAL "ssmsg-${VERSION}-win64")
  fail("the zip unpacks into ${top}, not one folder ssmsg-${VERSION}-win64")
endif()
set(root ${WORK_DIR}/unpacked/${top})

# The layout: each folder's files (the headers are those of include/ssmsg and version.h).
file(GLOB headers RELATIVE ${SOURCE_DIR}/include ${SOURCE_DIR}/include/ssmsg/*.h)
list(APPEND headers ssmsg/version.h)
set(layout_top bin dotnet examples include lib share)
set(layout_bin ssmsg.dll ssmsg.exe)
set(layout_include ${headers})
set(layout_lib cmake/ssmsg/ssmsgConfig.cmake cmake/ssmsg/ssmsgConfigVersion.cmake
    cmake/ssmsg/ssmsgTargets-release.cmake cmake/ssmsg/ssmsgTargets.cmake libssmsg.dll.a
    pkgconfig/ssmsg.pc ssmsg.def ssmsg.lib)
set(layout_share doc/ssmsg/CHANGELOG.md doc/ssmsg/LICENSE doc/ssmsg/README.md
    doc/ssmsg/ssmsg.1.txt)
set(layout_examples settings.c settings.cpp settings.cs settings.csproj)
foreach(folder top bin include lib share examples)
  if(folder STREQUAL "top")
    file(GLOB found RELATIVE ${root} ${root}/*)
  else()
    file(GLOB_RECURSE found RELATIVE ${root}/${folder} ${root}/${folder}/*)
  endif()
  set(files ${layout_${folder}})
  list(SORT found)
  list(SORT files)
  if(NOT found STREQUAL files)
    list(JOIN found " " found)
    list(JOIN files " " files)
    fail("${folder} holds\n  ${found}\nnot\n  ${files}")
  endif()
endforeach()
file(GLOB dotnet RELATIVE ${root}/dotnet ${root}/dotnet/*)
if(NOT "Ssmsg.csproj" IN_LIST dotnet OR NOT "Site.cs" IN_LIST dotnet)
  fail("dotnet/ lacks the C# binding: ${dotnet}")
endif()
file(READ ${root}/share/doc/ssmsg/ssmsg.1.txt manual)
string(ASCII 8 backspace)
string(ASCII 27 escape)
string(FIND "${manual}" "${backspace}" overstruck)
string(FIND "${manual}" "${escape}" escaped)
if(NOT manual MATCHES "\nSYNOPSIS\n" OR NOT overstruck EQUAL -1 OR NOT escaped EQUAL -1)
  fail("share/doc/ssmsg/ssmsg.1.txt is not the manual as plain text")
endif()
file(GLOB_RECURSE package_files ${root}/*.cmake ${root}/*.pc)
foreach(file IN LISTS package_files)
  file(READ ${file} text)
  foreach(folder ${BUILD_DIR} ${WORK_DIR} ${SOURCE_DIR})
    string(FIND "${text}" "${folder}" at)
    if(NOT at EQUAL -1)
      fail("${file} names ${folder}")
    endif()
  endforeach()
endforeach()

# Windows programs run in the package's folder, with its bin/ on PATH (Wine's drive Z: is /), and
# the GCC runtime's DLLs for a program linked with them.
execute_process(COMMAND ${CXX} -print-file-name=libstdc++-6.dll OUTPUT_VARIABLE gcc_runtime
                OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${CXX} -print-file-name=libwinpthread-1.dll OUTPUT_VARIABLE winpthread
                OUTPUT_STRIP_TRAILING_WHITESPACE)
set(path "")
foreach(folder ${root}/bin ${gcc_runtime} ${winpthread})
  if(NOT IS_DIRECTORY ${folder})
    get_filename_component(folder ${folder} DIRECTORY)
  endif()
  file(REAL_PATH ${folder} folder)
  string(REPLACE "/" "\\" folder "Z:${folder}")
  list(APPEND path ${folder})
endforeach()
function(wine result)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env "WINEPATH=${path}" ${WINE} ${ARGN}
                  WORKING_DIRECTORY ${root} OUTPUT_VARIABLE out RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    fail("failed (${status}) under Wine: ${ARGN}\n${out}")
  endif()
  set(${result} "${out}" PARENT_SCOPE)
endfunction()

wine(written bin/ssmsg.exe settings --time ${TIME})
file(READ ${SOURCE_DIR}/tests/golden/demo_settings.txt golden)
if(NOT written STREQUAL golden)
  fail("bin/ssmsg.exe settings does not write tests/golden/demo_settings.txt")
endif()

# The C programs: the README's command in the package's folder, and strict C99 for the others.
set(site ${SOURCE_DIR}/site/demo_site.json)
set(run_folder ${root})
run(${CC} -std=c99 examples/settings.c -Iinclude -Llib -lssmsg -o ${WORK_DIR}/settings_gnu.exe)
run(${CXX} -std=c++20 examples/settings.cpp -Iinclude -Llib -lssmsg -o ${WORK_DIR}/settings_cpp.exe)
set(run_folder ${WORK_DIR})
set(c_flags -std=c99 -Wall -Wextra -pedantic -Werror -I${root}/include)
run(${CC} ${c_flags} ${SOURCE_DIR}/tests/windows/dll_host.c -o ${WORK_DIR}/dll_host.exe)
run(${CC} ${c_flags} ${root}/examples/settings.c ${root}/lib/ssmsg.lib
    -o ${WORK_DIR}/settings_lib.exe)
run(${CC} ${c_flags} ${SOURCE_DIR}/tests/c_api_test.c -L${root}/lib -lssmsg
    -o ${WORK_DIR}/c_api_test.exe)
wine(host_printed ${WORK_DIR}/dll_host.exe ${site})
if(NOT host_printed MATCHES "^1 1 161 <Command>[^\n]*InputClearAll"
   OR NOT host_printed MATCHES "\n1 2 161 <Command>" OR NOT host_printed MATCHES "<Start>1,2</Start>")
  fail("the DLL's host printed:\n${host_printed}")
endif()
foreach(program settings_gnu settings_lib)
  wine(printed ${WORK_DIR}/${program}.exe ${site})
  if(NOT printed STREQUAL host_printed)
    fail("${program} printed other than the DLL's host:\n${printed}")
  endif()
endforeach()
wine(ignored ${WORK_DIR}/c_api_test.exe ${site} ${SOURCE_DIR}/tests/sites)

# The C++ example, built with the toolchain of the build through each of the package's files.
set(consumer ${WORK_DIR}/consumer)
run(${CMAKE_COMMAND} -E env PKG_CONFIG_LIBDIR=${root}/lib/pkgconfig PKG_CONFIG_PATH=
    ${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/consumer -B ${consumer} -G Ninja
    -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN} -DCMAKE_BUILD_TYPE=Release -DCMAKE_FIND_ROOT_PATH=${root})
run(${CMAKE_COMMAND} --build ${consumer})
wine(tool_printed bin/ssmsg.exe settings --config ${site} --task 161)
foreach(program ${WORK_DIR}/settings_cpp ${consumer}/consumer ${consumer}/consumer_pc)
  wine(printed ${program}.exe ${site})
  string(REPLACE "\r\n" "\n" printed "${printed}")
  if(NOT printed STREQUAL tool_printed)
    fail("the C++ example (${program}) printed other than the tool:\n${printed}")
  endif()
endforeach()
