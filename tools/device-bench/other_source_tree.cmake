# Adds device-bench-harness to a build of another source tree (one without tools/device-bench,
# such as a branch made before it), so that scripts/device-bench.sh --source measures that
# tree's decoder. Given to CMake as CMAKE_PROJECT_INCLUDE; the harness is added once the tree's
# top-level CMakeLists.txt has made its targets (varnel among them).
get_property(_device_bench_deferred GLOBAL PROPERTY DEVICE_BENCH_HARNESS_DEFERRED)
if(NOT _device_bench_deferred AND CMAKE_CURRENT_SOURCE_DIR STREQUAL CMAKE_SOURCE_DIR)
    set_property(GLOBAL PROPERTY DEVICE_BENCH_HARNESS_DEFERRED TRUE)
    # A deferred call's arguments are evaluated when it runs: the path is written in now.
    set(_device_bench_harness ${CMAKE_CURRENT_LIST_DIR}/harness.cmake)
    cmake_language(EVAL CODE "cmake_language(DEFER DIRECTORY [[${CMAKE_SOURCE_DIR}]]
                                             CALL include [[${_device_bench_harness}]])")
endif()
