# The tool's tests: one program that runs the tool at `tool` as a process, through a POSIX shell,
# and compares what it writes with the golden files. The Linux build points it at its own tool;
# the Windows build builds it for this machine and points it at ssmsg.exe under Wine
# (cmake/windows/tool_tests), so both tools are held to the same bytes; with WINDOWS the tests
# leave out what only POSIX has (signals, file modes, file-size limits).
function(ssmsg_add_tool_tests target tool version)
  cmake_parse_arguments(PARSE_ARGV 3 arg WINDOWS "" "")
  set(tests ${CMAKE_CURRENT_FUNCTION_LIST_DIR})
  cmake_path(GET tests PARENT_PATH source)
  add_executable(${target} ${tests}/test_tool.cpp ${tests}/test_sitedb_tool.cpp)
  target_compile_definitions(${target} PRIVATE
    SSMSG_TOOL="${tool}"
    SSMSG_VERSION="${version}"
    SSMSG_SOURCE_DIR="${source}"
    SSMSG_TEST_SITES="${tests}/sites"
    SSMSG_GOLDEN="${tests}/golden"
    SSMSG_TOOL_ON_WINDOWS=$<BOOL:${arg_WINDOWS}>)
endfunction()
