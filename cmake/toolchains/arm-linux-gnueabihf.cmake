# Cross-compiling for Linux on 32-bit ARM (Debian's armhf: hard-float calling convention,
# VFPv3-D16, no NEON) with Debian's arm-linux-gnueabihf toolchain, against the armhf SQLite
# and libpng that multiarch installs under /usr/lib/arm-linux-gnueabihf. The objects are ARM
# (not Thumb-2) code for ARMv7-A, the oldest architecture that armhf's C library runs on. The
# test programs run under qemu-arm through scripts/qemu-arm-run.sh.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(CROSS_TRIPLE arm-linux-gnueabihf)
set(CMAKE_C_COMPILER ${CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${CROSS_TRIPLE}-g++)
set(CMAKE_C_COMPILER_TARGET ${CROSS_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${CROSS_TRIPLE})
set(CMAKE_LIBRARY_ARCHITECTURE ${CROSS_TRIPLE})
set(CMAKE_C_FLAGS_INIT "-marm -march=armv7-a -mfpu=vfpv3-d16 -mfloat-abi=hard")
set(CMAKE_CXX_FLAGS_INIT "-marm -march=armv7-a -mfpu=vfpv3-d16 -mfloat-abi=hard")

# Headers and libraries of the target: the cross toolchain's own, and the multiarch armhf
# packages (their headers are shared with the build machine's in /usr/include).
set(CMAKE_FIND_ROOT_PATH /usr/${CROSS_TRIPLE} /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${CROSS_TRIPLE}/pkgconfig:/usr/share/pkgconfig)

# Test programs and tools run under qemu-arm.
get_filename_component(_qemu_run ${CMAKE_CURRENT_LIST_DIR}/../../scripts/qemu-arm-run.sh ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${_qemu_run})
