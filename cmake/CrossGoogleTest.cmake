# GoogleTest for cross builds (Windows with mingw-w64, Linux on ARM): built from Debian's
# sources with the cross compiler, since no build of it for the target is installed. Its own
# warnings are not ours. Included by the top-level CMakeLists.txt when cross-compiling tests.
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
