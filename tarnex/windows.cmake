# Tarnex on Windows: TARNEX.dll, an in-process server of the platform's COM,
# from the same sources; only the server's exports and registration, its
# dispatch and the upper-casing have Windows files of their own.

add_library(tarnex_iface INTERFACE)
target_include_directories(tarnex_iface INTERFACE ${CMAKE_CURRENT_SOURCE_DIR}/include)
target_link_libraries(tarnex_iface INTERFACE comrt)

add_library(tarnex_paths STATIC src/path_strings.cpp src/upper_case_win.cpp)
target_include_directories(tarnex_paths PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/src/include)
target_link_libraries(tarnex_paths PUBLIC comrt_text)

# The type library and the header clients may build against, from the IDL.
# widl resolves importlib("stdole2.tlb") from Wine's copy of that library
# (either processor's: only its names and identifiers are read); the
# stand-in oaidl.idl in src/idl gives it the automation basics.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(tarnex_widl_target --win64)
else()
  set(tarnex_widl_target --win32)
endif()
find_program(BREVIO_WIDL NAMES ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-widl widl REQUIRED)
find_path(BREVIO_STDOLE2_DIR stdole2.tlb REQUIRED NO_CMAKE_FIND_ROOT_PATH
          PATHS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows
                /usr/lib/i386-linux-gnu/wine/i386-windows
                /usr/lib/wine/x86_64-windows /usr/lib/wine/i386-windows)
set(tarnex_idl ${CMAKE_CURRENT_SOURCE_DIR}/src/tarnex.idl)
set(tarnex_widl ${BREVIO_WIDL} ${tarnex_widl_target} -I ${CMAKE_CURRENT_SOURCE_DIR}/src/idl
    -L ${BREVIO_STDOLE2_DIR})
set(tarnex_gen ${CMAKE_CURRENT_BINARY_DIR}/generated)
file(MAKE_DIRECTORY ${tarnex_gen})
add_custom_command(
  OUTPUT ${tarnex_gen}/tarnex.tlb ${tarnex_gen}/tarnex_idl.h
  COMMAND ${tarnex_widl} -t -o ${tarnex_gen}/tarnex.tlb ${tarnex_idl}
  COMMAND ${tarnex_widl} -h -o ${tarnex_gen}/tarnex_idl.h ${tarnex_idl}
  DEPENDS ${tarnex_idl} ${CMAKE_CURRENT_SOURCE_DIR}/src/idl/oaidl.idl
  COMMENT "widl: the TARNEX type library and its header")
add_custom_target(tarnex_typelib DEPENDS ${tarnex_gen}/tarnex.tlb ${tarnex_gen}/tarnex_idl.h)

# What an early-bound client includes: <tarnex_idl.h>.
add_library(tarnex_idl_header INTERFACE)
target_include_directories(tarnex_idl_header INTERFACE ${tarnex_gen})
target_link_libraries(tarnex_idl_header INTERFACE ole32 oleaut32 uuid)
add_dependencies(tarnex_idl_header tarnex_typelib)

enable_language(RC)
set_source_files_properties(src/tarnex.rc PROPERTIES OBJECT_DEPENDS ${tarnex_gen}/tarnex.tlb)

add_library(TARNEX SHARED
  src/ctarnex.cpp
  src/dispatch_win.cpp
  src/server_win.cpp
  src/tarnex.rc
  src/tarnex.def)
add_dependencies(TARNEX tarnex_typelib)
set_target_properties(TARNEX PROPERTIES OUTPUT_NAME TARNEX PREFIX "" SUFFIX ".dll")
# windres finds "tarnex.tlb" of the .rc file on its include path.
target_include_directories(TARNEX PRIVATE ${tarnex_gen})
target_link_libraries(TARNEX PRIVATE tarnex_iface tarnex_paths tarnex_services tarnex_desktop
                      comrt_boundary ole32 oleaut32 uuid)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  # The .def names the entry points undecorated, as the platform looks them
  # up; the linker matches them to the decorated __stdcall symbols.
  target_link_options(TARNEX PRIVATE -Wl,--enable-stdcall-fixup -Wl,--kill-at)
endif()
