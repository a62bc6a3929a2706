# Both programs answer --version with the release number set by project() in CMakeLists.txt:
# korvane-run as "korvane-run VERSION", the window as "Korvane107B VERSION" (without a display).
#   cmake -DVERSION=1.0.7 -DRUNNER=korvane-run [-DWINDOW=korvane] -P check_version.cmake
cmake_minimum_required(VERSION 3.22)

function(expect_version program expected)
  execute_process(COMMAND ${program} --version RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR NOT out STREQUAL "${expected}\n")
    message(FATAL_ERROR "${program} --version: exit ${rc}, printed '${out}' (expected '${expected}')\n${err}")
  endif()
  message(STATUS "${program} --version: ${expected}")
endfunction()

expect_version(${RUNNER} "korvane-run ${VERSION}")
if(WINDOW)
  unset(ENV{DISPLAY})
  unset(ENV{WAYLAND_DISPLAY})
  unset(ENV{QT_QPA_PLATFORM})
  expect_version(${WINDOW} "Korvane107B ${VERSION}")
endif()
