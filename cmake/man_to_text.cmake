# Renders a manual page as plain UTF-8 text with Windows line ends:
#   cmake -DGROFF=groff -DINPUT=tarnwick.1 -DOUTPUT=tarnwick.txt -P man_to_text.cmake
# grotty's -c -b -o -u: no escape sequences, no overstriking.
execute_process(COMMAND ${GROFF} -man -Tutf8 -P-cbou ${INPUT}
                OUTPUT_VARIABLE text RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "groff could not render ${INPUT}")
endif()
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUTPUT} "${text}")
