# device-bench-harness, the device benchmark's program for the device's processor (see
# device_bench_harness.cpp), in builds for Linux on ARM that have TurboJPEG (the armel build's
# sysroot has it). Included by this folder's CMakeLists.txt, and by other_source_tree.cmake for
# source trees without this folder.
if(CMAKE_CROSSCOMPILING AND NOT WIN32 AND CMAKE_SYSTEM_PROCESSOR MATCHES "^arm")
    find_package(PkgConfig)
    if(PkgConfig_FOUND)
        pkg_check_modules(DEVICE_BENCH_TURBOJPEG IMPORTED_TARGET libturbojpeg)
    endif()
    if(DEVICE_BENCH_TURBOJPEG_FOUND)
        add_executable(device-bench-harness ${CMAKE_CURRENT_LIST_DIR}/device_bench_harness.cpp)
        target_link_libraries(device-bench-harness PRIVATE varnel PkgConfig::DEVICE_BENCH_TURBOJPEG)
    else()
        message(STATUS "device-bench-harness not built: no libturbojpeg for the target")
    endif()
endif()
