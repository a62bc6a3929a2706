# Fails when a file under the engine folders includes a Qt header.
file(GLOB_RECURSE engine_files
     ${SOURCE_DIR}/src/core/* ${SOURCE_DIR}/src/loader/* ${SOURCE_DIR}/src/scan/* ${SOURCE_DIR}/src/hardware/*
     ${SOURCE_DIR}/src/comm/* ${SOURCE_DIR}/src/objectlink/* ${SOURCE_DIR}/src/platform/* ${SOURCE_DIR}/src/sim/*
     ${SOURCE_DIR}/src/posix/*)
set(offenders)
foreach(f ${engine_files})
  file(STRINGS ${f} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]Q")
  if(lines)
    list(APPEND offenders "${f}: ${lines}")
  endif()
endforeach()
if(offenders)
  string(REPLACE ";" "\n" offenders "${offenders}")
  message(FATAL_ERROR "engine files include Qt headers:\n${offenders}")
endif()
message(STATUS "checked ${CMAKE_MATCH_COUNT} engine files: no Qt header")
