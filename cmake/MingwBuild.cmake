# Settings of the Windows build (mingw-w64, tested under Wine), included by the top-level
# CMakeLists.txt when WIN32.

# Libraries are called as on Windows: varnel.dll, lumetta.dll.
set(CMAKE_SHARED_LIBRARY_PREFIX "")
set(CMAKE_IMPORT_LIBRARY_PREFIX "")
set(CMAKE_SHARED_MODULE_PREFIX "")

# The wide-character API under its plain names (TEXT is L"..."); no min/max macros.
add_compile_definitions(UNICODE _UNICODE NOMINMAX)

# Programs and DLLs side by side, where the Windows loader looks for a program's DLLs.
if(NOT CMAKE_RUNTIME_OUTPUT_DIRECTORY)
    set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
endif()

# The test folders whose suites build against the real API and run under Wine. The others
# (the layer's own tests, those that reach into the layer or run Linux programs) are for Linux
# builds.
set(MINGW_TEST_DIRS jpeg wince tools)

if(CMAKE_CROSSCOMPILING AND PROJECT_BUILD_TESTS)
    # GoogleTest built from Debian's sources with the cross compiler (there is no Windows
    # build of it to find). Its own warnings are not ours.
    set(GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for the cross build")
    if(NOT EXISTS ${GTEST_SOURCE_DIR}/CMakeLists.txt)
        message(FATAL_ERROR "GoogleTest sources not found in ${GTEST_SOURCE_DIR} "
                            "(Debian package googletest)")
    endif()
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
    add_subdirectory(${GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    foreach(target gtest gtest_main gmock gmock_main)
        target_compile_options(${target} PRIVATE -w)
        set_target_properties(${target} PROPERTIES CXX_VISIBILITY_PRESET default)
    endforeach()

    # find_package(GTest) finds the targets just made through an empty package configuration.
    file(WRITE ${CMAKE_BINARY_DIR}/gtest-config/GTestConfig.cmake
         "# GoogleTest is part of this cross build; its targets exist already.\n")
    set(GTest_DIR ${CMAKE_BINARY_DIR}/gtest-config CACHE PATH "" FORCE)

    # Test discovery runs each test program under Wine when ctest starts (the build cannot run
    # them); cmake/wine/GoogleTest.cmake gives the discovery the time Wine needs.
    list(PREPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR}/wine)

    # The Wine prefix is made during the build, so that the first test does not pay for it.
    add_custom_target(wine_prefix ALL
                      COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} --init
                      COMMENT "Preparing the Wine prefix"
                      VERBATIM)
endif()
