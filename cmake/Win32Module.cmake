# Building a library as a Win32 module on both platforms, from the two files that describe it
# there: its module-definition file (.def: what it exports, by name or by ordinal) and its
# resource script (.rc: version resource, dialogs).
#
# On Windows the toolchain takes both files as they are. On Linux:
#  - exports: the .def is turned into a linker version script that exports exactly what it
#    lists. An entry with an ordinal n becomes the dynamic symbol "ordinal.n", a linker alias of
#    the function; an entry without NONAME is also exported under its own name. Every other
#    symbol of the library stays local, whatever its visibility in the source.
#  - resources: the .rc is compiled by llvm-rc into a .res stream (the same bytes that a
#    Windows resource compiler writes), and the stream is embedded as the allocated ELF section
#    ".win32res", where the layer's FindResource and version-query calls find it.

if(NOT WIN32 AND NOT CMAKE_SCRIPT_MODE_FILE)
    find_program(WIN32MODULE_LLVM_RC NAMES llvm-rc llvm-rc-14 llvm-rc-15 llvm-rc-16 REQUIRED)
endif()

# Parses a .def file's EXPORTS section. Sets <out_names> to the list of entries as
# "name|ordinal|noname" (ordinal empty when the entry has none, noname 1 or 0).
function(win32_module_read_def def_file out_entries)
    file(STRINGS ${def_file} lines)
    set(in_exports FALSE)
    set(entries "")
    foreach(line IN LISTS lines)
        string(REGEX REPLACE ";.*$" "" line "${line}")
        string(STRIP "${line}" line)
        if(line STREQUAL "")
            continue()
        endif()
        if(line MATCHES "^(LIBRARY|NAME|DESCRIPTION|STACKSIZE|HEAPSIZE|SECTIONS|VERSION)( |$)")
            set(in_exports FALSE)
            continue()
        endif()
        if(line MATCHES "^EXPORTS( |$)")
            set(in_exports TRUE)
            string(REGEX REPLACE "^EXPORTS[ \t]*" "" line "${line}")
            if(line STREQUAL "")
                continue()
            endif()
        endif()
        if(NOT in_exports)
            continue()
        endif()
        if(NOT line MATCHES "^([A-Za-z_][A-Za-z0-9_]*)([ \t]*@[ \t]*([0-9]+))?([ \t]+(NONAME|PRIVATE|DATA))*$")
            message(FATAL_ERROR "${def_file}: export entry not understood: '${line}'")
        endif()
        set(name "${CMAKE_MATCH_1}")
        set(ordinal "${CMAKE_MATCH_3}")
        set(noname 0)
        if(line MATCHES "[ \t]NONAME")
            set(noname 1)
        endif()
        if(noname AND ordinal STREQUAL "")
            message(FATAL_ERROR "${def_file}: NONAME export '${name}' has no ordinal")
        endif()
        list(APPEND entries "${name}|${ordinal}|${noname}")
    endforeach()
    if(entries STREQUAL "")
        message(FATAL_ERROR "${def_file}: no EXPORTS entries")
    endif()
    set(${out_entries} "${entries}" PARENT_SCOPE)
endfunction()

# Makes <target>'s exports exactly those of <def_file>.
function(win32_module_exports target def_file)
    get_filename_component(def_file "${def_file}" ABSOLUTE)
    if(WIN32)
        target_sources(${target} PRIVATE ${def_file})
        if(CMAKE_SIZEOF_VOID_P EQUAL 4)
            # On 32-bit x86 a WINAPI function's symbol carries its argument bytes
            # (_LoadJpeg@12). The .def names the plain function, as the DLL exports it: the
            # linker matches the two (stdcall fixup, expected here, so not a warning) and
            # exports the plain name. Its import library, though, would then define only the
            # plain symbol, which callers' decorated references do not find; it is made again
            # from the decorated names found in the objects, each leading to the plain export.
            target_link_options(${target} PRIVATE "LINKER:--enable-stdcall-fixup,--kill-at")
            find_program(WIN32MODULE_NM NAMES ${CMAKE_NM} ${MINGW_TRIPLE}-nm REQUIRED)
            find_program(WIN32MODULE_DLLTOOL NAMES ${CMAKE_DLLTOOL} ${MINGW_TRIPLE}-dlltool
                         REQUIRED)
            add_custom_command(TARGET ${target} POST_BUILD
                COMMAND ${CMAKE_COMMAND} -DNM=${WIN32MODULE_NM} -DDLLTOOL=${WIN32MODULE_DLLTOOL}
                        -DDEF=${def_file} -DDLL=$<TARGET_FILE_NAME:${target}>
                        -DIMPORT_LIBRARY=$<TARGET_LINKER_FILE:${target}>
                        "-DOBJECTS=$<TARGET_OBJECTS:${target}>"
                        -P ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/Win32ImportLibrary.cmake
                COMMENT "Import library of $<TARGET_FILE_NAME:${target}> for 32-bit callers"
                VERBATIM)
        endif()
        return()
    endif()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${def_file})
    win32_module_read_def(${def_file} entries)

    set(global_names "")
    set(link_options "")
    foreach(entry IN LISTS entries)
        string(REPLACE "|" ";" fields "${entry}")
        list(GET fields 0 name)
        list(GET fields 1 ordinal)
        list(GET fields 2 noname)
        if(NOT ordinal STREQUAL "")
            string(APPEND global_names "        \"ordinal.${ordinal}\";\n")
            list(APPEND link_options "LINKER:--defsym=ordinal.${ordinal}=${name}")
        endif()
        if(NOT noname)
            string(APPEND global_names "        ${name};\n")
        endif()
    endforeach()

    set(script ${CMAKE_CURRENT_BINARY_DIR}/${target}.exports.map)
    file(WRITE ${script}.in
         "/* Generated from ${def_file}: the library's whole dynamic export list. */\n"
         "{\n    global:\n${global_names}    local:\n        *;\n};\n")
    configure_file(${script}.in ${script} COPYONLY)

    # The functions that the .def names must be visible to the linker for the aliases and the
    # names to be exported; the version script then hides every symbol it does not list.
    set_target_properties(${target} PROPERTIES C_VISIBILITY_PRESET default
                                               CXX_VISIBILITY_PRESET default)
    target_link_options(${target} PRIVATE ${link_options} "LINKER:--version-script=${script}")
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${script} ${def_file})
endfunction()

# Compiles <rc_file> and attaches the resources to <target>. Extra arguments name files that
# the script includes, so that editing them recompiles it.
function(win32_module_resources target rc_file)
    get_filename_component(rc_file "${rc_file}" ABSOLUTE)
    if(WIN32)
        target_sources(${target} PRIVATE ${rc_file})
        return()
    endif()
    get_filename_component(rc_name "${rc_file}" NAME_WE)
    set(res_file ${CMAKE_CURRENT_BINARY_DIR}/${rc_name}.res)
    # The scripts are UTF-8 (they say so with "#pragma code_page(65001)" for the Windows
    # compilers); /C 65001 tells llvm-rc the same. llvm-rc takes options with a slash, so
    # "--" keeps an absolute path such as /check/... from being read as the /C option.
    add_custom_command(
        OUTPUT ${res_file}
        COMMAND ${WIN32MODULE_LLVM_RC} /C 65001 /FO ${res_file} -- ${rc_file}
        DEPENDS ${rc_file} ${ARGN}
        WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}
        COMMENT "Compiling resources ${rc_name}.rc"
        VERBATIM)
    add_custom_target(${target}_resources DEPENDS ${res_file})
    add_dependencies(${target} ${target}_resources)

    set(embed_source ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.cpp)
    file(WRITE ${embed_source}.in
         "// Generated: the compiled resources of ${target}, as an allocated section that the\n"
         "// layer finds through the library's section headers.\n"
         "__asm__(\".section .win32res,\\\"a\\\"\\n\"\n"
         "        \".balign 4\\n\"\n"
         "        \".incbin \\\"${res_file}\\\"\\n\"\n"
         "        \".previous\\n\");\n")
    configure_file(${embed_source}.in ${embed_source} COPYONLY)
    set_source_files_properties(${embed_source} PROPERTIES OBJECT_DEPENDS ${res_file})
    target_sources(${target} PRIVATE ${embed_source})
endfunction()
