# Cross-compiling for the device's processor: Linux on 32-bit ARM with Debian's armel toolchain
# (arm-linux-gnueabi), ARM (not Thumb) code for ARMv4T, the architecture that runs on both
# StrongARM and XScale, with the soft-float calling convention and no floating-point unit.
# SQLite, libpng, zlib and TurboJPEG come from Debian's armel packages, unpacked into
# build/armel-sysroot by scripts/armel-sysroot.sh (run from here when that folder is missing);
# the C and C++ runtimes from the cross toolchain's folder. The test programs run under
# qemu-arm's XScale PXA250 model through scripts/qemu-arm-run.sh (Debian's armel C library
# needs ARMv5TE, so the StrongARM model cannot run them).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(CROSS_TRIPLE arm-linux-gnueabi)
set(CMAKE_C_COMPILER ${CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${CROSS_TRIPLE}-g++)
set(CMAKE_C_COMPILER_TARGET ${CROSS_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${CROSS_TRIPLE})
set(CMAKE_LIBRARY_ARCHITECTURE ${CROSS_TRIPLE})
set(CMAKE_C_FLAGS_INIT "-marm -march=armv4t -mfloat-abi=soft")
set(CMAKE_CXX_FLAGS_INIT "-marm -march=armv4t -mfloat-abi=soft")

get_filename_component(_source_root ${CMAKE_CURRENT_LIST_DIR}/../.. ABSOLUTE)
set(ARMEL_SYSROOT ${_source_root}/build/armel-sysroot)
if(NOT EXISTS ${ARMEL_SYSROOT}/.packages)
    execute_process(COMMAND ${_source_root}/scripts/armel-sysroot.sh ${ARMEL_SYSROOT}
                    RESULT_VARIABLE _sysroot_result)
    if(NOT _sysroot_result EQUAL 0)
        message(FATAL_ERROR "scripts/armel-sysroot.sh failed: the armel libraries are missing")
    endif()
endif()
# libpng needs zlib at link time: the linker looks for libraries' own dependencies there too.
set(_armel_lib_dirs ${ARMEL_SYSROOT}/usr/lib/${CROSS_TRIPLE}:${ARMEL_SYSROOT}/lib/${CROSS_TRIPLE})
foreach(kind EXE SHARED MODULE)
    set(CMAKE_${kind}_LINKER_FLAGS_INIT "-Wl,-rpath-link,${_armel_lib_dirs}")
endforeach()

# Headers and libraries of the target only: the cross toolchain's own and the sysroot's (the
# build machine's /usr/include has amd64 twins of the same headers).
set(CMAKE_FIND_ROOT_PATH /usr/${CROSS_TRIPLE} ${ARMEL_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ENV{PKG_CONFIG_LIBDIR} ${ARMEL_SYSROOT}/usr/lib/${CROSS_TRIPLE}/pkgconfig)
set(ENV{PKG_CONFIG_SYSROOT_DIR} ${ARMEL_SYSROOT})

# Test programs and tools run under qemu-arm.
set(CMAKE_CROSSCOMPILING_EMULATOR ${_source_root}/scripts/qemu-arm-run.sh)
