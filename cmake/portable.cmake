# Fails when a file of the engine library includes a header that only POSIX systems have:
# serial lines, sockets and descriptor waits belong in src/posix, which only korvane-run links.
# (./dev cross compiles the engine for Windows; this catches the same slip in every build.)
file(GLOB_RECURSE engine_files
     ${SOURCE_DIR}/src/core/* ${SOURCE_DIR}/src/loader/* ${SOURCE_DIR}/src/scan/* ${SOURCE_DIR}/src/hardware/*
     ${SOURCE_DIR}/src/comm/* ${SOURCE_DIR}/src/objectlink/* ${SOURCE_DIR}/src/platform/* ${SOURCE_DIR}/src/sim/*)
set(posix_only "(poll|termios|unistd|fcntl|dirent|pthread|dlfcn|netdb|sys/(socket|file|ioctl|select|mman|sysmacros|un|wait)|arpa/[a-z]+|netinet/[a-z]+)\\.h")
set(offenders)
foreach(f ${engine_files})
  file(STRINGS ${f} lines REGEX "^[ \t]*#[ \t]*include[ \t]*<${posix_only}>")
  if(lines)
    list(APPEND offenders "${f}: ${lines}")
  endif()
endforeach()
list(LENGTH engine_files count)
if(offenders)
  string(REPLACE ";" "\n" offenders "${offenders}")
  message(FATAL_ERROR "engine files include POSIX-only headers:\n${offenders}")
endif()
message(STATUS "checked ${count} engine files: no POSIX-only header")
