# Runs "korvane-run --lad" on every program of the tree: the examples, the integration
# programs, the benchmark programs and the golden cases. Each must convert and exit 0 (a
# crash or a hang fails the test); the networks that have no ladder form are counted with
# their reason, for a person to read in the test's output.
file(GLOB programs ${SOURCE_DIR}/examples/*.awl ${SOURCE_DIR}/tests/integration/*.awl
     ${SOURCE_DIR}/bench/*.awl ${SOURCE_DIR}/tests/golden/*/program.awl)
set(failed "")
set(networks 0)
set(without 0)
foreach(p ${programs})
  get_filename_component(dir ${p} DIRECTORY)
  get_filename_component(name ${p} NAME)
  execute_process(COMMAND ${RUNNER} --lad ${name} WORKING_DIRECTORY ${dir} OUTPUT_VARIABLE out
                  ERROR_VARIABLE err RESULT_VARIABLE rc TIMEOUT 60)
  if(NOT rc EQUAL 0)
    # A program the loader refuses on purpose is refused here as well (exit 2).
    if(NOT (rc EQUAL 2 AND EXISTS ${dir}/exit))
      string(APPEND failed "${p}: exit ${rc}\n${err}")
    endif()
    continue()
  endif()
  string(REGEX MATCHALL "\nNetwork [0-9]+" found "\n${out}")
  list(LENGTH found n)
  math(EXPR networks "${networks} + ${n}")
  string(REGEX MATCHALL "该网络无法用梯形图显示[^\n]*" reasons "${out}")
  list(LENGTH reasons k)
  math(EXPR without "${without} + ${k}")
  foreach(r ${reasons})
    message(STATUS "${p}: ${r}")
  endforeach()
endforeach()
message(STATUS "${networks} networks, ${without} without ladder form")
if(failed)
  message(FATAL_ERROR "${failed}")
endif()
