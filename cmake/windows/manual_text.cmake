# Writes the manual page PAGE as plain text, without hyphenation, into OUTPUT.
#   cmake -DPAGE=ssmsg.1 -DOUTPUT=ssmsg.1.txt -P manual_text.cmake
find_program(GROFF groff REQUIRED)
execute_process(COMMAND ${GROFF} -man -Tutf8 -rHY=0 -P-cbou ${PAGE} OUTPUT_FILE ${OUTPUT}
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE ${OUTPUT})
  message(FATAL_ERROR "groff failed on ${PAGE}")
endif()
