# The C# binding, its example and its test program compiled with mcs into WORK (made afresh) and run
# with mono against LIBRARY, which the binding finds beside itself as libssmsg.so.0 through
# Ssmsg.dll.config. The example must print exactly what the C example prints, on a good site file
# and on a bad one; the test program checks the rest.
#   cmake -DMCS=... -DMONO=... -DLIBRARY=... -DC_PROGRAM=... -DSOURCE_DIR=... -DWORK=...
#         -DVERSION=... -P run.cmake
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

function(compile)
  execute_process(COMMAND ${MCS} -warnaserror -warn:4 -nologo ${ARGN}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "mcs ${ARGN} failed:\n${out}")
  endif()
endfunction()

file(GLOB binding ${SOURCE_DIR}/dotnet/*.cs)
# Every public member is documented: the documentation file must come without a warning.
compile(-target:library -doc:${WORK}/Ssmsg.xml -out:${WORK}/Ssmsg.dll ${binding})
compile(-r:${WORK}/Ssmsg.dll -out:${WORK}/settings.exe ${SOURCE_DIR}/examples/settings.cs)
compile(-r:${WORK}/Ssmsg.dll -out:${WORK}/BindingTest.exe ${CMAKE_CURRENT_LIST_DIR}/BindingTest.cs)
file(COPY ${SOURCE_DIR}/dotnet/Ssmsg.dll.config DESTINATION ${WORK})
file(CREATE_LINK ${LIBRARY} ${WORK}/libssmsg.so.0 SYMBOLIC)

# The outputs are compared as files: execute_process would drop the CR of a CR LF and NUL bytes.
foreach(site IN ITEMS ${SOURCE_DIR}/site/demo_site.json ${SOURCE_DIR}/tests/sites/bad/enums.json)
  execute_process(COMMAND ${C_PROGRAM} ${site} RESULT_VARIABLE c_status
                  OUTPUT_FILE ${WORK}/c.out ERROR_FILE ${WORK}/c.err)
  execute_process(COMMAND ${MONO} ${WORK}/settings.exe ${site} RESULT_VARIABLE cs_status
                  OUTPUT_FILE ${WORK}/cs.out ERROR_FILE ${WORK}/cs.err)
  # Something to compare: the messages of a good site, the error lines of a bad one.
  file(SIZE ${WORK}/c.out out_size)
  file(SIZE ${WORK}/c.err err_size)
  if(out_size EQUAL 0 AND err_size EQUAL 0)
    message(FATAL_ERROR "the C example printed nothing for ${site}")
  endif()
  foreach(stream IN ITEMS out err)
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/c.${stream}
                            ${WORK}/cs.${stream} RESULT_VARIABLE differ)
    if(differ)
      file(READ ${WORK}/cs.${stream} printed)
      message(FATAL_ERROR "for ${site} the C# example's standard ${stream} differs from the C "
                          "example's (${WORK}/c.${stream}):\n${printed}")
    endif()
  endforeach()
  if(NOT cs_status STREQUAL c_status)
    message(FATAL_ERROR "for ${site} the C# example ended with ${cs_status}, the C one ${c_status}")
  endif()
endforeach()

execute_process(COMMAND ${MONO} --debug ${WORK}/BindingTest.exe ${SOURCE_DIR} ${WORK} ${VERSION}
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the binding's test failed (${status})")
endif()
