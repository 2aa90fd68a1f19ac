# Writes run-tests.cmd and README.txt of the test kit from their configured
# forms, with the test cases that count-test-cases.sh found when the kit was
# built: @KIT_CASES@ becomes each program's "NAME:COUNT", @KIT_TEST_CASES@
# their sum; CR LF line ends, as cmd.exe and Notepad read them.
#   cmake -DCOUNTS=<file> -DINPUTS=<a;b> -DOUTPUTS=<c;d> -P fill-test-cases.cmake
file(READ ${COUNTS} cases)
string(STRIP "${cases}" cases)
if(NOT cases MATCHES "^[A-Za-z0-9_]+:[1-9][0-9]*( [A-Za-z0-9_]+:[1-9][0-9]*)*$")
  message(FATAL_ERROR "${COUNTS}: not a list of NAME:COUNT: \"${cases}\"")
endif()
set(total 0)
string(REPLACE " " ";" entries "${cases}")
foreach(entry IN LISTS entries)
  string(REGEX REPLACE "^.*:" "" count "${entry}")
  math(EXPR total "${total} + ${count}")
endforeach()
set(KIT_CASES "${cases}")
set(KIT_TEST_CASES ${total})
foreach(input output IN ZIP_LISTS INPUTS OUTPUTS)
  configure_file(${input} ${output} @ONLY NEWLINE_STYLE CRLF)
endforeach()
