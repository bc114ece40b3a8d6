# Cross build of talvero.exe for 64-bit Windows with the mingw-w64 toolchain.
#
#   cmake --preset mingw && cmake --build --preset mingw
#
# The posix thread variant of the compilers is taken when installed (its C++
# library is the complete one); the result links its runtime statically, so
# talvero.exe needs no DLL beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TALVERO_MINGW_TRIPLET x86_64-w64-mingw32)

foreach(lang C CXX)
  if(lang STREQUAL "C")
    set(driver gcc)
  else()
    set(driver g++)
  endif()
  find_program(TALVERO_MINGW_${lang}
    NAMES ${TALVERO_MINGW_TRIPLET}-${driver}-posix ${TALVERO_MINGW_TRIPLET}-${driver}
    REQUIRED)
  set(CMAKE_${lang}_COMPILER ${TALVERO_MINGW_${lang}})
endforeach()

find_program(CMAKE_RC_COMPILER NAMES ${TALVERO_MINGW_TRIPLET}-windres)

# Headers and libraries come from the target's tree only; programs from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${TALVERO_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No libgcc, libstdc++ or winpthread DLL at run time.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

