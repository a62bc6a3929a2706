# Runs korvane-run in a golden case folder and compares its standard output with "expected".
# The folder holds "args" (korvane-run options, one per line; PROGRAM stands for program.awl)
# and "expected"; an optional "exit" holds the expected exit status (default 0).
file(STRINGS ${CASE_DIR}/args raw_args ENCODING UTF-8)
set(args)
foreach(a ${raw_args})
  string(REPLACE "PROGRAM" "program.awl" a "${a}")
  string(REPLACE "CASEDIR" "${CASE_DIR}" a "${a}")
  string(REPLACE "EXAMPLES" "${SOURCE_DIR}/examples" a "${a}")
  list(APPEND args "${a}")
endforeach()
# Run in the case folder: the program is named as program.awl, so what the runner prints
# about it does not depend on where the tree lies.
execute_process(COMMAND ${RUNNER} ${args} WORKING_DIRECTORY ${CASE_DIR} OUTPUT_VARIABLE out ERROR_VARIABLE err
                RESULT_VARIABLE rc)
set(want_rc 0)
if(EXISTS ${CASE_DIR}/exit)
  file(STRINGS ${CASE_DIR}/exit want_rc)
endif()
file(READ ${CASE_DIR}/expected want)
if(NOT "${rc}" STREQUAL "${want_rc}")
  message(FATAL_ERROR "exit status ${rc}, expected ${want_rc}\nstdout:\n${out}\nstderr:\n${err}")
endif()
if(NOT "${out}" STREQUAL "${want}")
  message(FATAL_ERROR "output differs\n--- expected\n${want}--- got\n${out}--- stderr\n${err}")
endif()
