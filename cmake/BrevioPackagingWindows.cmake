# The Windows package: a ZIP per target (64- and 32-bit) with the programs at
# its top.
#   (cd build-win64 && cpack -G ZIP)  ->  brevio-<version>-win64.zip
# Brevio.exe, brevio-trim.exe, TARNEX.dll (registered by the user with regsvr32, see
# README-Windows.txt), the help page and the copyright.
foreach(target Brevio brevio-trim TARNEX)
  if(TARGET ${target})
    install(TARGETS ${target} RUNTIME DESTINATION . LIBRARY DESTINATION . COMPONENT brevio)
  endif()
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/docs/brevio_help.htm DESTINATION tools COMPONENT brevio)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/windows/README-Windows.txt
              ${PROJECT_SOURCE_DIR}/packaging/copyright
        DESTINATION . COMPONENT brevio)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME brevio)
set(CPACK_PACKAGE_VENDOR "Brevio")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Trims web page files line by line")
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(CPACK_SYSTEM_NAME win64)
else()
  set(CPACK_SYSTEM_NAME win32)
endif()
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
