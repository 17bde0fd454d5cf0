# The Windows build's tests (included at the end of tests/CMakeLists.txt). The test programs are
# Windows programs that ctest runs under Wine (CMAKE_CROSSCOMPILING_EMULATOR); besides them:
#   the tool's tests, built for this machine and driving ssmsg.exe under Wine;
#   the check that the DLL and the programs import nothing but Windows' own DLLs, and that the DLL
#   exports the C interface as ssmsg.def lists it;
#   the tests that do not apply to Windows, labelled not-on-windows with the reason why (the
#   windows test preset leaves them out).
include(ExternalProject)

# What the platform layer does on Windows alone.
target_sources(ssmsg_tests PRIVATE ${PROJECT_SOURCE_DIR}/tests/test_windows.cpp)

# The tool's tests. SSMSG_TOOL is a script that runs ssmsg.exe under Wine.
if(SSMSG_BUILD_TOOL)
  set(ssmsg_wine_tool ${PROJECT_BINARY_DIR}/wine/ssmsg)
  file(GENERATE OUTPUT ${ssmsg_wine_tool}
       CONTENT "#!/bin/sh\nexec '${SSMSG_WINE_RUN}' '$<TARGET_FILE:ssmsg_tool>' \"$@\"\n"
       FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
                        WORLD_EXECUTE)
  set(ssmsg_tool_tests_dir ${CMAKE_CURRENT_BINARY_DIR}/tool_tests)
  ExternalProject_Add(ssmsg_tool_tests_native
    SOURCE_DIR ${PROJECT_SOURCE_DIR}/cmake/windows/tool_tests
    BINARY_DIR ${ssmsg_tool_tests_dir}
    CMAKE_ARGS -DSSMSG_SOURCE_DIR=${PROJECT_SOURCE_DIR} -DSSMSG_TOOL=${ssmsg_wine_tool}
               -DSSMSG_VERSION=${PROJECT_VERSION} -DSSMSG_GENERATED_INCLUDE=${SSMSG_GENERATED_INCLUDE}
               -DSSMSG_WERROR=${SSMSG_WERROR}
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    DEPENDS ssmsg_tool)
  # Each test of the program is a test of its own, listed by the program when ctest starts.
  set(ssmsg_tool_tests_list ${CMAKE_CURRENT_BINARY_DIR}/tool_tests_list.cmake)
  file(CONFIGURE OUTPUT ${ssmsg_tool_tests_list} @ONLY CONTENT [=[
set(program "@ssmsg_tool_tests_dir@/ssmsg_tool_tests")
execute_process(COMMAND "${program}" --gtest_list_tests OUTPUT_VARIABLE listed
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  add_test(tool_tests_not_built sh -c "echo '${program} cannot list its tests' >&2; exit 1")
  return()
endif()
string(REPLACE "\n" ";" lines "${listed}")
foreach(line IN LISTS lines)
  if(line MATCHES "^([A-Za-z0-9_]+)\\.$")
    set(suite ${CMAKE_MATCH_1})
  elseif(line MATCHES "^  ([A-Za-z0-9_]+)")
    add_test(${suite}.${CMAKE_MATCH_1} "${program}" --gtest_filter=${suite}.${CMAKE_MATCH_1})
    set_tests_properties(${suite}.${CMAKE_MATCH_1} PROPERTIES LABELS tool TIMEOUT 120)
  endif()
endforeach()
  ]=])
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${ssmsg_tool_tests_list})
endif()

# The package (cpack --preset windows), unpacked and used as its users would.
if(SSMSG_BUILD_TOOL)
  add_test(NAME windows_package
           COMMAND ${CMAKE_COMMAND} -DCPACK=${CMAKE_CPACK_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR}
                   -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/package
                   -DWINE=${SSMSG_WINE_RUN} -DCC=${CMAKE_C_COMPILER} -DCXX=${CMAKE_CXX_COMPILER}
                   -DTOOLCHAIN=${CMAKE_TOOLCHAIN_FILE} -DVERSION=${PROJECT_VERSION}
                   -DTIME=2026-12-04T09:05:07 -P ${PROJECT_SOURCE_DIR}/tests/windows/package.cmake)
  set_tests_properties(windows_package PROPERTIES TIMEOUT 600)
endif()

# What the DLL and the programs import, and what the DLL exports.
add_test(NAME windows_binaries
         COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${SSMSG_OBJDUMP} -DDEF=${SSMSG_DEF}
                 -DDLL=$<TARGET_FILE:ssmsg> -DPROGRAMS=$<$<BOOL:${SSMSG_BUILD_TOOL}>:$<TARGET_FILE:ssmsg_tool>>
                 -P ${PROJECT_SOURCE_DIR}/cmake/windows/check_binaries.cmake)

# The tests that do not apply to Windows, each with the reason. A test that a test program lists
# when ctest starts is labelled then.
set(ssmsg_not_on_windows
  install_consumer "installs the package into a prefix and builds a project of its own with this machine's compiler: the Windows package has a test of its own"
  exported_symbols "reads libssmsg.so with nm (windows_binaries checks the C functions that ssmsg.dll exports)"
  examples "runs the README's examples on this machine and the Python one with the Linux package, the Windows package's test runs them under Wine"
  man_page "reads the tool's --help for the manual page, which the Windows package holds as text"
  man_page_groff "checks the manual page for man, which Windows does not have"
  bash_completion "bash completion is for the tool installed on Linux"
  report_browser "drives Chromium on this machine over the report of the Linux tool"
  dotnet "runs the C# binding with Mono against the Linux library; .NET under Wine is not set up here"
)
set(ssmsg_listed_not_on_windows ${CMAKE_CURRENT_BINARY_DIR}/not_on_windows.cmake)
set(ssmsg_listed_labels "")
list(LENGTH ssmsg_not_on_windows count)
math(EXPR last "${count} - 1")
foreach(at RANGE 0 ${last} 2)
  list(GET ssmsg_not_on_windows ${at} name)
  if(TEST ${name})
    set_property(TEST ${name} APPEND PROPERTY LABELS not-on-windows)
  else()
    string(APPEND ssmsg_listed_labels
           "set_tests_properties([==[${name}]==] PROPERTIES LABELS not-on-windows)\n")
  endif()
endforeach()
file(CONFIGURE OUTPUT ${ssmsg_listed_not_on_windows} CONTENT "${ssmsg_listed_labels}")
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${ssmsg_listed_not_on_windows})
