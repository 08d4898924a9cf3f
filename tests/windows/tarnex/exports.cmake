# cmake -DOBJDUMP=... -DDLL=TARNEX.dll -P exports.cmake: the file exports
# exactly the four entry points of an in-process server and carries the
# resources TYPELIB 1 and VERSION 1.
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE code)
if(NOT code EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${DLL} failed")
endif()

string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n([^\n]+\n)*" table "${dump}")
string(REGEX MATCHALL "\t\\[ *[0-9]+\\] [A-Za-z_0-9@]+" names "${table}")
list(TRANSFORM names REPLACE "^\t\\[ *[0-9]+\\] " "")
list(SORT names)
set(expected DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer)
if(NOT names STREQUAL expected)
  message(FATAL_ERROR "exports are '${names}', expected '${expected}'")
endif()

# The resource directory: a named type TYPELIB with id 1, and type 16 (VERSION) with id 1.
string(REGEX MATCH "The \\.rsrc Resource Directory section:\n.*" resources "${dump}")
if(NOT resources MATCHES "name: \\[[^]]*\\]: TYPELIB, Value: [^\n]+\n[^\n]+\n[^\n]*Entry: ID: 0x000001")
  message(FATAL_ERROR "no resource TYPELIB 1:\n${resources}")
endif()
if(NOT resources MATCHES "Entry: ID: 0x000010, Value: [^\n]+\n[^\n]+\n[^\n]*Entry: ID: 0x000001")
  message(FATAL_ERROR "no resource VERSION 1:\n${resources}")
endif()
message(STATUS "exports: ${names}; resources TYPELIB 1 and VERSION 1")
