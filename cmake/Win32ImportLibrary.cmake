# Makes the import library of a 32-bit x86 DLL whose .def names its WINAPI functions plainly.
# Run by cmake -P after the DLL is linked:
#
#   -DNM=... -DDLLTOOL=... -DDEF=module.def -DDLL=module.dll -DIMPORT_LIBRARY=module.dll.a
#   -DOBJECTS=a.obj;b.obj
#
# Callers compiled for 32-bit x86 refer to a WINAPI function by its decorated symbol
# (_LoadJpeg@12). For each export of the .def this finds that symbol among the module's objects
# and writes a .def with the decorated name, from which dlltool (--kill-at) makes an import
# library whose decorated symbols import the plain name that the DLL exports. Exports that are
# not WINAPI functions keep their plain names.
cmake_policy(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/Win32Module.cmake)

win32_module_read_def(${DEF} entries)
# The compiled objects only (the compiled resources have no symbols).
list(FILTER OBJECTS INCLUDE REGEX "\\.(obj|o)$")
execute_process(COMMAND ${NM} --defined-only ${OBJECTS}
                OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${NM} failed on the objects of ${DLL}")
endif()

set(lines "; Generated from ${DEF} with the decorated names of the 32-bit objects.\n")
string(APPEND lines "LIBRARY ${DLL}\nEXPORTS\n")
foreach(entry IN LISTS entries)
    string(REPLACE "|" ";" fields "${entry}")
    list(GET fields 0 name)
    list(GET fields 1 ordinal)
    list(GET fields 2 noname)
    set(decorated "${name}")
    if(symbols MATCHES " T _${name}(@[0-9]+)\n")
        set(decorated "${name}${CMAKE_MATCH_1}")
    endif()
    string(APPEND lines "    ${decorated}")
    if(NOT ordinal STREQUAL "")
        string(APPEND lines " @${ordinal}")
    endif()
    if(noname)
        string(APPEND lines " NONAME")
    endif()
    string(APPEND lines "\n")
endforeach()

set(decorated_def ${IMPORT_LIBRARY}.def)
file(WRITE ${decorated_def} "${lines}")
execute_process(COMMAND ${DLLTOOL} --kill-at -d ${decorated_def} -D ${DLL} -l ${IMPORT_LIBRARY}
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${DLLTOOL} could not make ${IMPORT_LIBRARY}")
endif()
