# Shared part of the mingw-w64 cross toolchains: set _triple first. The
# POSIX thread model is used, which GoogleTest needs for std::mutex;
# winpthread is linked statically with the rest of the runtime (see the
# top-level CMakeLists.txt).
set(CMAKE_SYSTEM_NAME Windows)
find_program(_cc NAMES ${_triple}-gcc-posix REQUIRED)
find_program(_cxx NAMES ${_triple}-g++-posix REQUIRED)
set(CMAKE_C_COMPILER ${_cc})
set(CMAKE_CXX_COMPILER ${_cxx})
set(CMAKE_RC_COMPILER ${_triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
