# What a release installs, and the packages that CPack makes of it ("cmake --build <dir> --target
# package"): a zip archive on Windows; a .tar.gz and a .deb on Linux. Included by the top-level
# CMakeLists.txt after every target is defined.
#
# Windows: one flat folder, programs and DLLs side by side as the loader wants them, with the
# README for Windows users, the sample and every licence text that the files need. The C and C++
# runtimes are linked in (cmake/toolchains/mingw-w64.cmake), so their licences come along:
# mingw-w64's CRT and winpthreads (their notices must go with binaries), and GCC's libgcc and
# libstdc++ (GPL 3 with the GCC Runtime Library Exception).
#
# Linux: a prefix tree (bin, lib, share). The programs find the libraries through
# $ORIGIN/../lib and the libraries find each other through $ORIGIN, so the tree works wherever
# it is unpacked; today-host finds the installed item relative to itself (host/CMakeLists.txt).
# The layer, the decoder and the item are private libraries: no headers, no static libraries,
# no development symlinks. Tests and benchmark tools are not installed.
include(GNUInstallDirs)

set(PACKAGE_NAME varnel-lumetta)
set(PACKAGE_SUMMARY "Baseline JPEG decoder and Today-screen picture item, with a Today host emulator")

if(WIN32)
    set(package_bin .)
    set(package_lib .)
    set(package_data .)
    set(package_licenses licenses)
else()
    set(package_bin ${CMAKE_INSTALL_BINDIR})
    set(package_lib ${CMAKE_INSTALL_LIBDIR})
    set(package_data ${CMAKE_INSTALL_DATADIR}/${PACKAGE_NAME})
    set(package_licenses ${CMAKE_INSTALL_DATAROOTDIR}/doc/${PACKAGE_NAME}/licenses)
    file(RELATIVE_PATH lib_from_bin ${CMAKE_INSTALL_PREFIX}/${package_bin}
         ${CMAKE_INSTALL_PREFIX}/${package_lib})
    set_target_properties(today-host varnel-decode PROPERTIES
                          INSTALL_RPATH "$ORIGIN/${lib_from_bin}")
    set_target_properties(win32layer varnel lumetta PROPERTIES INSTALL_RPATH "$ORIGIN")
    install(TARGETS win32layer LIBRARY DESTINATION ${package_lib})
endif()

# RUNTIME: programs, and DLLs on Windows; LIBRARY: shared libraries on Linux. Import libraries
# (ARCHIVE) are for building against the libraries and stay out.
install(TARGETS today-host varnel-decode varnel lumetta
        RUNTIME DESTINATION ${package_bin}
        LIBRARY DESTINATION ${package_lib})

# The sample photo, so that the item has something to show at once, with its licence (GPL 2 or
# later, whose text goes along).
install(FILES ${CMAKE_SOURCE_DIR}/samples/ladybird.jpg ${CMAKE_SOURCE_DIR}/samples/LICENSE.md
        DESTINATION ${package_data}/samples)
install(FILES /usr/share/common-licenses/GPL-2 DESTINATION ${package_licenses} RENAME GPL-2.txt)

if(WIN32)
    # The README, with the version filled in and Windows line ends.
    configure_file(${CMAKE_SOURCE_DIR}/packaging/README-windows.txt
                   ${CMAKE_BINARY_DIR}/packaging/README.txt @ONLY NEWLINE_STYLE WIN32)
    install(FILES ${CMAKE_BINARY_DIR}/packaging/README.txt DESTINATION .)
    # Debian's mingw-w64 and GCC cross compilers record their runtimes' licences here.
    string(REPLACE "_" "-" mingw_arch "${CMAKE_SYSTEM_PROCESSOR}")
    if(mingw_arch STREQUAL "x86")
        set(mingw_arch i686)
    endif()
    install(FILES /usr/share/doc/mingw-w64-${mingw_arch}-dev/copyright
            DESTINATION ${package_licenses} RENAME mingw-w64-runtime.txt)
    install(FILES /usr/share/doc/gcc-mingw-w64-base/copyright
            DESTINATION ${package_licenses} RENAME gcc-runtime.txt)
    install(FILES /usr/share/common-licenses/GPL-3 DESTINATION ${package_licenses}
            RENAME GPL-3.txt)
endif()

set(CPACK_PACKAGE_NAME ${PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR "Quenby")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PACKAGE_SUMMARY}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_INSTALL_DIRECTORY ${PACKAGE_NAME})
set(CPACK_PACKAGE_CHECKSUM SHA256)
# Release packages carry no debug information.
set(CPACK_STRIP_FILES ON)
if(WIN32)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        set(package_system win32)
    else()
        set(package_system win64)
    endif()
    set(CPACK_GENERATOR ZIP)
else()
    set(package_system linux-${CMAKE_SYSTEM_PROCESSOR})
    set(CPACK_GENERATOR TGZ DEB)
endif()
set(CPACK_PACKAGE_FILE_NAME ${PACKAGE_NAME}-${PROJECT_VERSION}-${package_system})

if(NOT WIN32)
    # The .deb: the dependencies are those of the ELF files' needed libraries, found by
    # dpkg-shlibdeps; the package's own libraries are found through the binaries' rpaths.
    execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE deb_arch
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(deb_arch STREQUAL "")
        set(deb_arch ${CMAKE_SYSTEM_PROCESSOR})
    endif()
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${deb_arch})
    set(CPACK_DEBIAN_FILE_NAME ${PACKAGE_NAME}_${PROJECT_VERSION}_${deb_arch}.deb)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quenby <packages@quenby.invalid>")
    string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION "${PACKAGE_SUMMARY}\n"
        "varnel decodes baseline JPEG files into Windows bitmaps; lumetta is a Today-screen\n"
        "picture item. Both run on a Win32-subset layer (libwin32layer) whose registry is a\n"
        "SQLite file. today-host renders the Today screen with the item to a PNG file and\n"
        "opens its options; varnel-decode decodes a JPEG file to BMP, PNG or PPM.")
endif()

# The file names of the packages, for the package tests (tests/package). They are taken before
# include(CPack), which leaves CPACK_PACKAGE_FILE_NAME set to the source package's name.
if(WIN32)
    set(PACKAGE_FILES ${CMAKE_BINARY_DIR}/${CPACK_PACKAGE_FILE_NAME}.zip)
else()
    set(PACKAGE_FILES ${CMAKE_BINARY_DIR}/${CPACK_PACKAGE_FILE_NAME}.tar.gz
                      ${CMAKE_BINARY_DIR}/${CPACK_DEBIAN_FILE_NAME})
endif()

include(CPack)
