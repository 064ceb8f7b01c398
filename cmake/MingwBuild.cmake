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
set(MINGW_TEST_DIRS jpeg windows tools package)

if(CMAKE_CROSSCOMPILING AND PROJECT_BUILD_TESTS)
    # Test discovery runs each test program under Wine when ctest starts (the build cannot run
    # them); cmake/wine/GoogleTest.cmake gives the discovery the time Wine needs.
    list(PREPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR}/wine)

    # The Wine prefix is made during the build, so that the first test does not pay for it.
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        set(MINGW_WINE_ARCH win32)
    else()
        set(MINGW_WINE_ARCH win64)
    endif()
    add_custom_target(wine_prefix ALL
                      COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} --init ${MINGW_WINE_ARCH}
                      COMMENT "Preparing the Wine prefix"
                      VERBATIM)
endif()
