# The platform layer (platform/): a header per concern, with a source per system beside it. This
# picks the sources of the system being built for.
if(WIN32)
  set(SSMSG_PLATFORM windows)
else()
  set(SSMSG_PLATFORM posix)
endif()
set(SSMSG_PLATFORM_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/OutputFile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/InputFile_${SSMSG_PLATFORM}.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LocalTime_${SSMSG_PLATFORM}.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OutputFile_${SSMSG_PLATFORM}.cpp)
if(WIN32)
  list(APPEND SSMSG_PLATFORM_SOURCES ${CMAKE_CURRENT_LIST_DIR}/ThreadExit_windows.cpp
       ${CMAKE_CURRENT_LIST_DIR}/Win32_windows.cpp)
endif()

# Gives the program `target` the platform's entry point (platform/Program.h); on Windows that is
# wmain.
function(ssmsg_program_main target)
  target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/platform/Program_${SSMSG_PLATFORM}.cpp)
  if(WIN32)
    target_link_options(${target} PRIVATE -municode)
  endif()
endfunction()
