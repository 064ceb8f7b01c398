# Adds device-bench-harness to a build of another source tree (one without tools/device-bench,
# such as a branch made before it), so that scripts/device-bench.sh --source measures that
# tree's decoder. Given to CMake as CMAKE_PROJECT_INCLUDE; the harness is added once the tree's
# top-level CMakeLists.txt has made its targets (varnel among them).
get_property(_device_bench_added GLOBAL PROPERTY DEVICE_BENCH_HARNESS_DEFERRED)
if(NOT _device_bench_added AND CMAKE_CURRENT_SOURCE_DIR STREQUAL CMAKE_SOURCE_DIR)
    set_property(GLOBAL PROPERTY DEVICE_BENCH_HARNESS_DEFERRED TRUE)
    set(DEVICE_BENCH_DIR ${CMAKE_CURRENT_LIST_DIR})
    function(device_bench_add_harness)
        if(NOT TARGET device-bench-harness)
            add_subdirectory(${DEVICE_BENCH_DIR} ${CMAKE_BINARY_DIR}/device-bench-harness)
        endif()
    endfunction()
    cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL device_bench_add_harness)
endif()
