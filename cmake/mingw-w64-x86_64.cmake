# Cross toolchain for 64-bit Windows, used by the win64 preset: the Windows
# platform code and its tests under 64-bit Wine, on machines that cannot run
# 32-bit x86 code.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(_triple x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
