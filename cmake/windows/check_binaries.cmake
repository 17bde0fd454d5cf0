# Fails when the DLL or a program imports a DLL that is not Windows' own (the GCC runtime,
# winpthread, or the library itself, say), or when the DLL's exported C functions are not exactly
# those that its module-definition file lists.
#   cmake -DOBJDUMP=x86_64-w64-mingw32-objdump -DDLL=ssmsg.dll -DDEF=ssmsg.def
#         -DPROGRAMS="ssmsg.exe;..." -P check_binaries.cmake
cmake_minimum_required(VERSION 3.25)
set(system_dlls kernel32 msvcrt advapi32 user32 gdi32 shell32 ole32 oleaut32 ws2_32 bcrypt ntdll
    shlwapi secur32 crypt32)

function(dump file result)
  execute_process(COMMAND ${OBJDUMP} -p ${file} OUTPUT_VARIABLE text RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -p ${file} failed")
  endif()
  set(${result} "${text}" PARENT_SCOPE)
endfunction()

set(failures "")
foreach(file IN ITEMS ${DLL} ${PROGRAMS})
  dump(${file} text)
  string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${text}")
  if(NOT imports)
    string(APPEND failures "${file} imports nothing, not even kernel32.dll: is it a PE file?\n")
  endif()
  foreach(import IN LISTS imports)
    string(REGEX REPLACE "^DLL Name: *" "" dll "${import}")
    string(TOLOWER "${dll}" name)
    string(REGEX REPLACE "\\.dll$" "" name "${name}")
    if(NOT name IN_LIST system_dlls AND NOT name MATCHES "^api-ms-win-")
      string(APPEND failures "${file} imports ${dll}, which Windows does not have\n")
    endif()
  endforeach()
endforeach()

# The export table lists "[ordinal] name" lines; the C functions are those named ssmsg_*.
dump(${DLL} text)
string(REGEX MATCHALL "\t\\[ *[0-9]+\\] ssmsg_[a-z0-9_]+" exported "${text}")
list(TRANSFORM exported REPLACE "^.* " "")
file(STRINGS ${DEF} listed REGEX "^ +ssmsg_")
list(TRANSFORM listed STRIP)
if(NOT listed)
  string(APPEND failures "${DEF} lists no function\n")
endif()
foreach(name IN LISTS listed)
  if(NOT name IN_LIST exported)
    string(APPEND failures "${DLL} does not export ${name}, which ${DEF} lists\n")
  endif()
endforeach()
foreach(name IN LISTS exported)
  if(NOT name IN_LIST listed)
    string(APPEND failures "${DLL} exports ${name}, which ${DEF} does not list\n")
  endif()
endforeach()

if(failures)
  message(FATAL_ERROR "${failures}")
endif()
