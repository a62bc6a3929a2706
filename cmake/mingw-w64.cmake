# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 compilers (g++-mingw-w64-x86-64-posix):
#   cmake --preset mingw        (or -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DKORVANE_ENGINE_ONLY=ON)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KORVANE_MINGW_TRIPLE x86_64-w64-mingw32)

# The POSIX-threads flavour where it is installed (std::thread and friends), else the default.
foreach(lang C CXX)
  if(lang STREQUAL "C")
    set(tool gcc)
  else()
    set(tool g++)
  endif()
  find_program(KORVANE_MINGW_${lang} NAMES ${KORVANE_MINGW_TRIPLE}-${tool}-posix ${KORVANE_MINGW_TRIPLE}-${tool})
  if(KORVANE_MINGW_${lang})
    set(CMAKE_${lang}_COMPILER ${KORVANE_MINGW_${lang}})
  endif()
endforeach()
set(CMAKE_RC_COMPILER ${KORVANE_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KORVANE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

