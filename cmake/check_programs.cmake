# Runs "korvane-run --check" on every program of the tree: the examples, the integration
# programs, the benchmark programs and the golden cases. Each must load without a finding,
# unless its folder holds a file "findings" with exactly what the check prints for it (a
# program that is wrong on purpose). A folder's symbols.txt is the program's symbol table.
# Golden cases that run --check themselves are skipped.
file(GLOB programs ${SOURCE_DIR}/examples/*.awl ${SOURCE_DIR}/tests/integration/*.awl
     ${SOURCE_DIR}/bench/*.awl ${SOURCE_DIR}/tests/golden/*/program.awl)
set(failed "")
foreach(p ${programs})
  get_filename_component(dir ${p} DIRECTORY)
  get_filename_component(name ${p} NAME)
  if(EXISTS ${dir}/args)
    file(READ ${dir}/args case_args)
    if(case_args MATCHES "--check")
      continue()
    endif()
  endif()
  set(symbols "")
  if(EXISTS ${dir}/symbols.txt)
    set(symbols --symbols symbols.txt)
  endif()
  execute_process(COMMAND ${RUNNER} --check ${name} ${symbols} WORKING_DIRECTORY ${dir} OUTPUT_VARIABLE out
                  ERROR_VARIABLE err RESULT_VARIABLE rc)
  if(EXISTS ${dir}/findings)
    file(READ ${dir}/findings want)
    if(NOT rc EQUAL 3 OR NOT "${out}" STREQUAL "${want}")
      string(APPEND failed "${p}: exit ${rc}\n${out}--- expected\n${want}")
    endif()
  elseif(NOT rc EQUAL 0)
    string(APPEND failed "${p}: exit ${rc}\n${out}${err}")
  endif()
endforeach()
if(failed)
  message(FATAL_ERROR "${failed}")
endif()
