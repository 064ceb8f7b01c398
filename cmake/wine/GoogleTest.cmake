# CMake's GoogleTest module, with what test programs that run under Wine need: they are listed
# when ctest starts (PRE_TEST; the build cannot run them), and the listing may take as long as
# a first Wine start-up. Found before CMake's own module in cross builds only.
include_guard(GLOBAL)
include(${CMAKE_ROOT}/Modules/GoogleTest.cmake)

function(gtest_discover_tests TARGET)
    _gtest_discover_tests(${TARGET} ${ARGN} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120)
endfunction()
