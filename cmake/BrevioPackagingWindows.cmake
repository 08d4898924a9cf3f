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

# The installer, beside the ZIP: brevio-<version>-<win64|win32>-setup.exe,
# made by NSIS (packaging/windows/brevio.nsi) from the installed tree staged
# in installer-stage/. Part of the default build when makensis is there, so
# that the installer's tests always meet the current programs.
find_program(BREVIO_MAKENSIS makensis)
if(BREVIO_MAKENSIS AND TARGET Brevio AND TARGET TARNEX)
  set(stage ${PROJECT_BINARY_DIR}/installer-stage)
  set(setup ${PROJECT_BINARY_DIR}/brevio-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME}-setup.exe)
  set(script ${PROJECT_SOURCE_DIR}/packaging/windows/brevio.nsi)
  add_custom_command(
    OUTPUT ${setup}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage}
    COMMAND ${CMAKE_COMMAND} --install ${PROJECT_BINARY_DIR} --prefix ${stage} --strip
    # -WX: a warning (a file the script names but the tree lacks) fails the build.
    COMMAND ${BREVIO_MAKENSIS} -V2 -WX -INPUTCHARSET UTF8 -DVERSION=${PROJECT_VERSION}
            -DARCH=${CPACK_SYSTEM_NAME} -DSTAGE=${stage} -DOUTFILE=${setup} ${script}
    DEPENDS Brevio brevio-trim TARNEX ${script} ${PROJECT_SOURCE_DIR}/docs/brevio_help.htm
            ${PROJECT_SOURCE_DIR}/packaging/windows/README-Windows.txt
            ${PROJECT_SOURCE_DIR}/packaging/copyright
    COMMENT "NSIS: brevio-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME}-setup.exe"
    VERBATIM)
  add_custom_target(installer ALL DEPENDS ${setup})
endif()
