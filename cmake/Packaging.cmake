# What a release installs, and the packages that CPack makes of it ("cmake --build <dir> --target
# package"): a zip archive on Windows; a .tar.gz and two .debs on Linux. Included by the top-level
# CMakeLists.txt after every target is defined.
#
# Windows: one flat folder, programs and DLLs side by side as the loader wants them, with the
# README for Windows users, the sample and every licence text that the files need, and what a
# program needs to call varnel.dll: include\varnel.h, the import libraries for mingw-w64
# (lib\libvarnel.dll.a) and Microsoft's linker (lib\varnel.lib), the export list
# (lib\varnel.def) and the example (examples\decode.c). The C and C++ runtimes are linked in
# (cmake/toolchains/mingw-w64.cmake), so their licences come along: mingw-w64's CRT and
# winpthreads (their notices must go with binaries), and GCC's libgcc and libstdc++ (GPL 3 with
# the GCC Runtime Library Exception).
#
# Linux: a prefix tree (bin, include, lib, share) in two components: "runtime" (the programs, the
# versioned libraries libvarnel.so.1 and libvarnel-lumetta-win32layer.so.1, the item in
# lib/varnel-lumetta/, the sample, the manual pages, the licences) and "development" (the header
# with the layer's headers that it needs, the libraries' link names, varnel.pc and the CMake
# package). The .tar.gz holds both; the .debs are varnel-lumetta and varnel-lumetta-dev. The
# programs find the libraries through $ORIGIN/../lib, the libraries each other through $ORIGIN,
# the item them through $ORIGIN/.., so the tree works wherever it is unpacked; today-host finds
# the installed item relative to itself (host/CMakeLists.txt). Tests and benchmark tools are not
# installed.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(PACKAGE_NAME varnel-lumetta)
set(PACKAGE_SUMMARY "Baseline JPEG decoder and Today-screen picture item, with a Today host emulator")
# The .deb's revision: the packaging's own version, behind the project's (1.0.1-1).
set(PACKAGE_DEBIAN_REVISION 1)
set(PACKAGE_MAINTAINER "Quenby <packages@quenby.invalid>")

if(WIN32)
    set(package_bin .)
    set(package_lib .)
    set(package_data .)
    set(package_licenses licenses)
    set(package_dev_lib lib)
    set(package_include include)
    set(package_examples examples)
else()
    set(package_bin ${CMAKE_INSTALL_BINDIR})
    set(package_lib ${CMAKE_INSTALL_LIBDIR})
    set(package_item ${package_lib}/${PACKAGE_ITEM_SUBDIR})
    set(package_data ${CMAKE_INSTALL_DATADIR}/${PACKAGE_NAME})
    set(package_doc ${CMAKE_INSTALL_DATAROOTDIR}/doc/${PACKAGE_NAME})
    set(package_dev_doc ${CMAKE_INSTALL_DATAROOTDIR}/doc/${PACKAGE_NAME}-dev)
    set(package_licenses ${package_doc}/licenses)
    set(package_dev_lib ${package_lib})
    # The header and the layer's headers it includes, in a folder of their own: the layer's
    # win32/ names are not the system's.
    set(package_include ${CMAKE_INSTALL_INCLUDEDIR}/varnel)
    set(package_examples ${package_dev_doc}/examples)
    file(RELATIVE_PATH lib_from_bin ${CMAKE_INSTALL_PREFIX}/${package_bin}
         ${CMAKE_INSTALL_PREFIX}/${package_lib})
    file(RELATIVE_PATH lib_from_item ${CMAKE_INSTALL_PREFIX}/${package_item}
         ${CMAKE_INSTALL_PREFIX}/${package_lib})
    set_target_properties(today-host varnel-decode PROPERTIES
                          INSTALL_RPATH "$ORIGIN/${lib_from_bin}")
    set_target_properties(win32layer varnel PROPERTIES INSTALL_RPATH "$ORIGIN")
    set_target_properties(lumetta PROPERTIES INSTALL_RPATH "$ORIGIN/${lib_from_item}")
    # The versioned libraries for programs; their link names (libvarnel.so ...) for linkers.
    install(TARGETS win32layer varnel
            LIBRARY DESTINATION ${package_lib} COMPONENT runtime NAMELINK_COMPONENT development)
    install(TARGETS lumetta LIBRARY DESTINATION ${package_item} COMPONENT runtime)
endif()

# RUNTIME: programs, and DLLs on Windows.
install(TARGETS today-host varnel-decode RUNTIME DESTINATION ${package_bin} COMPONENT runtime)
if(WIN32)
    install(TARGETS varnel lumetta RUNTIME DESTINATION ${package_bin} COMPONENT runtime)
endif()

# The sample photo, so that the item has something to show at once, with its licence (GPL 2 or
# later, whose text goes along).
install(FILES ${CMAKE_SOURCE_DIR}/samples/ladybird.jpg ${CMAKE_SOURCE_DIR}/samples/LICENSE.md
        DESTINATION ${package_data}/samples COMPONENT runtime)
install(FILES /usr/share/common-licenses/GPL-2 DESTINATION ${package_licenses} RENAME GPL-2.txt
        COMPONENT runtime)

# What programs that call varnel build with: the header (with, on Linux, the layer's base and
# GDI headers that it includes) and the example.
install(FILES ${CMAKE_SOURCE_DIR}/jpeg/varnel.h DESTINATION ${package_include}
        COMPONENT development)
install(FILES ${CMAKE_SOURCE_DIR}/examples/decode.c DESTINATION ${package_examples}
        COMPONENT development)
if(NOT WIN32)
    # The example's CMake project, which finds varnel through its CMake package.
    install(FILES ${CMAKE_SOURCE_DIR}/examples/CMakeLists.txt DESTINATION ${package_examples}
            COMPONENT development)
endif()

if(WIN32)
    # The README and the project's licence, with the version filled in and Windows line ends.
    configure_file(${CMAKE_SOURCE_DIR}/packaging/README-windows.txt
                   ${CMAKE_BINARY_DIR}/packaging/README.txt @ONLY NEWLINE_STYLE WIN32)
    configure_file(${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/packaging/LICENSE.txt
                   @ONLY NEWLINE_STYLE WIN32)
    install(FILES ${CMAKE_BINARY_DIR}/packaging/README.txt ${CMAKE_BINARY_DIR}/packaging/LICENSE.txt
            DESTINATION . COMPONENT runtime)
    # Debian's mingw-w64 and GCC cross compilers record their runtimes' licences here.
    string(REPLACE "_" "-" mingw_arch "${CMAKE_SYSTEM_PROCESSOR}")
    if(mingw_arch STREQUAL "x86")
        set(mingw_arch i686)
    endif()
    install(FILES /usr/share/doc/mingw-w64-${mingw_arch}-dev/copyright
            DESTINATION ${package_licenses} RENAME mingw-w64-runtime.txt COMPONENT runtime)
    install(FILES /usr/share/doc/gcc-mingw-w64-base/copyright
            DESTINATION ${package_licenses} RENAME gcc-runtime.txt COMPONENT runtime)
    install(FILES /usr/share/common-licenses/GPL-3 DESTINATION ${package_licenses}
            RENAME GPL-3.txt COMPONENT runtime)
    # The import libraries (jpeg/CMakeLists.txt) and the export list they were made from.
    install(FILES $<TARGET_LINKER_FILE:varnel> DESTINATION ${package_dev_lib}
            RENAME libvarnel.dll.a COMPONENT development)
    install(FILES ${VARNEL_MSVC_IMPORT_LIBRARY} DESTINATION ${package_dev_lib}
            COMPONENT development)
    install(FILES ${VARNEL_CALLER_EXPORT_LIST} DESTINATION ${package_dev_lib} RENAME varnel.def
            COMPONENT development)
else()
    install(FILES ${CMAKE_SOURCE_DIR}/win32/include/win32/base.h
                  ${CMAKE_SOURCE_DIR}/win32/include/win32/gdi.h
            DESTINATION ${package_include}/win32 COMPONENT development)

    # pkg-config and CMake find the package from where it lies (its prefix is found from the
    # files' own place), so the unpacked .tar.gz works as well as the installed .deb.
    file(RELATIVE_PATH prefix_from_pc ${CMAKE_INSTALL_PREFIX}/${package_lib}/pkgconfig
         ${CMAKE_INSTALL_PREFIX})
    file(RELATIVE_PATH prefix_from_cmake ${CMAKE_INSTALL_PREFIX}/${package_lib}/cmake/varnel
         ${CMAKE_INSTALL_PREFIX})
    set(VARNEL_LIBRARY_FILE libvarnel.so.1)
    set(VARNEL_LAYER_LIBRARY_FILE libvarnel-lumetta-win32layer.so.1)
    configure_file(${CMAKE_SOURCE_DIR}/packaging/varnel.pc.in
                   ${CMAKE_BINARY_DIR}/packaging/varnel.pc @ONLY)
    configure_file(${CMAKE_SOURCE_DIR}/packaging/varnel-config.cmake.in
                   ${CMAKE_BINARY_DIR}/packaging/varnel-config.cmake @ONLY)
    write_basic_package_version_file(${CMAKE_BINARY_DIR}/packaging/varnel-config-version.cmake
                                     VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
    install(FILES ${CMAKE_BINARY_DIR}/packaging/varnel.pc
            DESTINATION ${package_lib}/pkgconfig COMPONENT development)
    install(FILES ${CMAKE_BINARY_DIR}/packaging/varnel-config.cmake
                  ${CMAKE_BINARY_DIR}/packaging/varnel-config-version.cmake
            DESTINATION ${package_lib}/cmake/varnel COMPONENT development)

    # Debian's conventions, in both packages: the licences in the machine-readable copyright
    # file, the changelog (gzip -9n: the same bytes on every build).
    configure_file(${CMAKE_SOURCE_DIR}/packaging/debian/changelog.in
                   ${CMAKE_BINARY_DIR}/packaging/changelog.Debian @ONLY)
    set(changelog_gz ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz)
    add_custom_command(OUTPUT ${changelog_gz}
                       COMMAND gzip -9nc ${CMAKE_BINARY_DIR}/packaging/changelog.Debian > ${changelog_gz}
                       DEPENDS ${CMAKE_SOURCE_DIR}/packaging/debian/changelog.in
                       COMMENT "Compressing the Debian changelog")
    set(package_docs ${changelog_gz})

    # The manual pages, made from the programs' --help by help2man (a cross build cannot run
    # its programs, and makes no packages for this machine; sanitizer builds make none at all).
    find_program(PACKAGE_HELP2MAN help2man)
    if(PACKAGE_HELP2MAN AND NOT CMAKE_CROSSCOMPILING AND NOT PROJECT_SANITIZE)
        set(man_pages "")
        foreach(program today-host varnel-decode)
            if(program STREQUAL today-host)
                set(man_name "render the Today screen with the picture item, and manage the item")
            else()
                set(man_name "decode a baseline JPEG file to a bitmap, PNG or PPM file")
            endif()
            set(man_page ${CMAKE_BINARY_DIR}/packaging/${program}.1.gz)
            # today-host's page has a section with each command's options as well.
            set(include_commands "")
            set(include_option "")
            if(program STREQUAL today-host)
                set(include_file ${CMAKE_BINARY_DIR}/packaging/today-host.h2m)
                set(include_commands
                    COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:today-host>
                            -DOUTPUT=${include_file}
                            -P ${CMAKE_SOURCE_DIR}/packaging/today-host-commands.cmake)
                set(include_option --include=${include_file})
            endif()
            add_custom_command(
                OUTPUT ${man_page}
                ${include_commands}
                COMMAND ${PACKAGE_HELP2MAN} --no-info --no-discard-stderr --section 1
                        --name ${man_name} --version-string ${PROJECT_VERSION}
                        --source "${PACKAGE_NAME} ${PROJECT_VERSION}"
                        ${include_option}
                        --output ${CMAKE_BINARY_DIR}/packaging/${program}.1
                        $<TARGET_FILE:${program}>
                COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/packaging/${program}.1
                DEPENDS ${program} ${CMAKE_SOURCE_DIR}/packaging/today-host-commands.cmake
                COMMENT "Manual page of ${program}"
                VERBATIM)
            list(APPEND man_pages ${man_page})
        endforeach()
        install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
        list(APPEND package_docs ${man_pages})
    else()
        message(STATUS "No manual pages: help2man is missing, or the build is a cross build")
    endif()
    add_custom_target(package_documents ALL DEPENDS ${package_docs})

    install(FILES ${CMAKE_SOURCE_DIR}/packaging/debian/copyright ${changelog_gz}
            DESTINATION ${package_doc} COMPONENT runtime)
    install(FILES ${CMAKE_SOURCE_DIR}/packaging/debian/copyright ${changelog_gz}
            DESTINATION ${package_dev_doc} COMPONENT development)
endif()

set(CPACK_PACKAGE_NAME ${PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR "Quenby")
if(WIN32)
    set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PACKAGE_SUMMARY}")
endif()
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

# Every component in the archives (one zip, one .tar.gz); one .deb for each.
set(CPACK_COMPONENTS_ALL runtime development)
set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
if(NOT WIN32)
    execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE deb_arch
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(deb_arch STREQUAL "")
        set(deb_arch ${CMAKE_SYSTEM_PROCESSOR})
    endif()
    set(deb_version ${PROJECT_VERSION}-${PACKAGE_DEBIAN_REVISION})
    set(CPACK_DEB_COMPONENT_INSTALL ON)
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${deb_arch})
    set(CPACK_DEBIAN_PACKAGE_RELEASE ${PACKAGE_DEBIAN_REVISION})
    set(CPACK_DEBIAN_PACKAGE_SOURCE ${PACKAGE_NAME})
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PACKAGE_MAINTAINER}")
    set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://quenby.invalid/varnel-lumetta")

    # varnel-lumetta: the programs, the libraries and the item. Its dependencies are those of
    # the ELF files' needed libraries, found by dpkg-shlibdeps; its shlibs file tells other
    # packages' dpkg-shlibdeps which package holds libvarnel.so.1.
    set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${PACKAGE_NAME})
    set(CPACK_DEBIAN_RUNTIME_FILE_NAME ${PACKAGE_NAME}_${deb_version}_${deb_arch}.deb)
    set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION graphics)
    set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
    set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
    set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/packaging/debian/triggers)
    string(CONCAT CPACK_COMPONENT_RUNTIME_DESCRIPTION "${PACKAGE_SUMMARY}\n"
        "varnel is a small baseline JPEG decoder. Its one function, LoadJpeg, reads a\n"
        "JPEG file and returns a 24-bit Windows device-independent bitmap of the\n"
        "picture, computed in integer arithmetic, so that every platform gets the same\n"
        "bits. lumetta is a Pocket PC Today-screen item that shows a bitmap or JPEG\n"
        "picture stretched, centred or tiled. On Linux both run on a Win32-subset\n"
        "layer of their own, whose registry is a SQLite file.\n"
        "\n"
        "This package holds the libraries and two programs: today-host, a Today host\n"
        "emulator that registers the item, edits its settings, renders the Today\n"
        "screen to a PNG file and works the item's options dialog; and varnel-decode,\n"
        "which decodes a JPEG file to a BMP, PNG or PPM file and says why when varnel\n"
        "refuses one.")

    # varnel-lumetta-dev: what programs that call LoadJpeg build with.
    set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME ${PACKAGE_NAME}-dev)
    set(CPACK_DEBIAN_DEVELOPMENT_FILE_NAME ${PACKAGE_NAME}-dev_${deb_version}_${deb_arch}.deb)
    set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
    set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "${PACKAGE_NAME} (= ${deb_version})")
    string(CONCAT CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION
        "Baseline JPEG decoder varnel: header, pkg-config and CMake files\n"
        "varnel is a small baseline JPEG decoder. Its one function, LoadJpeg, reads a\n"
        "JPEG file and returns a 24-bit Windows device-independent bitmap of the\n"
        "picture, the same to the last bit on every platform.\n"
        "\n"
        "This package holds what C and C++ programs need to call it: the header\n"
        "varnel.h with the Win32-subset layer's headers that it includes, the link\n"
        "names of the libraries, varnel.pc for pkg-config, the CMake package\n"
        "(find_package(varnel) and the target varnel::varnel) and an example program.")
    # Each description's first line is its package's summary (CPACK_PACKAGE_DESCRIPTION_SUMMARY
    # is left unset on Linux, or CPack would put it in front of both).
endif()

# The file names of the packages, for the package tests (tests/package). They are taken before
# include(CPack), which leaves CPACK_PACKAGE_FILE_NAME set to the source package's name.
if(WIN32)
    set(PACKAGE_FILES ${CMAKE_BINARY_DIR}/${CPACK_PACKAGE_FILE_NAME}.zip)
else()
    set(PACKAGE_FILES ${CMAKE_BINARY_DIR}/${CPACK_PACKAGE_FILE_NAME}.tar.gz
                      ${CMAKE_BINARY_DIR}/${CPACK_DEBIAN_RUNTIME_FILE_NAME}
                      ${CMAKE_BINARY_DIR}/${CPACK_DEBIAN_DEVELOPMENT_FILE_NAME})
endif()

include(CPack)
