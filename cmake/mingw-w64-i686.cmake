# Cross toolchain for 32-bit Windows (the plug-in): mingw-w64 i686.
# Test executables run through Wine in a private prefix (tests/CMakeLists.txt).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(_triple i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
