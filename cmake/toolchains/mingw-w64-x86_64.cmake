# Cross-compiling for 64-bit Windows with Debian's mingw-w64. The programs built run under
# 64-bit Wine through scripts/wine-run.sh.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
