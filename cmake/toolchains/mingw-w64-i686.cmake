# Cross-compiling for 32-bit Windows (x86) with Debian's mingw-w64. The programs built run
# under 32-bit Wine (the i386 architecture's wine32) through scripts/wine-run.sh, which picks
# the 32-bit prefix from the program's PE header.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
