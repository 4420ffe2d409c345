# Cross toolchain for 64-bit Windows, used by the win64 preset: the Windows
# platform code and its tests under 64-bit Wine, on machines that cannot run
# 32-bit x86 code. mingw-w64 x86_64 with the POSIX thread
# model, which GoogleTest needs for std::mutex; winpthread is linked
# statically with the rest of the runtime (see the top-level CMakeLists.txt).
# Test executables run through Wine in a private prefix (tests/CMakeLists.txt).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_triple x86_64-w64-mingw32)
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
