# Installation and the Debian package.
#   cmake --install build --prefix /usr/local
#   (cd build && cpack -G DEB)   ->  brevio_<version>_<arch>.deb, installs with apt
#
# Layout: bin/brevio, bin/brevio-trim; lib/brevio/{TARNEX.so, libcomrt.so,
# libbrevio-fileio.so, regsvr}
# (private: found through RUNPATH $ORIGIN/../lib/brevio from bin, $ORIGIN inside);
# share/brevio/tools/brevio_help.htm (the default help site); the desktop entry
# and the icon. The program registers TARNEX.so for its user on first start.

# Fixed, not CMAKE_INSTALL_LIBDIR: the programs' RUNPATH and the first-start
# registration both look in <prefix>/lib/brevio.
set(brevio_private_libdir lib/brevio)

foreach(program brevio brevio-trim)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT brevio)
  endif()
endforeach()

foreach(private TARNEX comrt fileio regsvr)
  if(TARGET ${private})
    set_target_properties(${private} PROPERTIES INSTALL_RPATH "$ORIGIN")
    install(TARGETS ${private}
            RUNTIME DESTINATION ${brevio_private_libdir} COMPONENT brevio
            LIBRARY DESTINATION ${brevio_private_libdir} COMPONENT brevio)
  endif()
endforeach()

install(FILES ${PROJECT_SOURCE_DIR}/docs/brevio_help.htm
        DESTINATION ${CMAKE_INSTALL_DATADIR}/brevio/tools COMPONENT brevio)
install(FILES ${PROJECT_SOURCE_DIR}/docs/brevio.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT brevio)
foreach(size 32 16)
  install(FILES ${PROJECT_SOURCE_DIR}/brevio/app/icons/brevio-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME brevio.png COMPONENT brevio)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/docs/brevio.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT brevio)

# Only what the package needs: no test programs or static helpers.
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};brevio;/")
set(CPACK_PACKAGE_NAME brevio)
set(CPACK_PACKAGE_VENDOR "Brevio")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Trims web page files line by line")
set(CPACK_PACKAGE_DESCRIPTION "Brevio makes HTML, ASP and PHP files smaller: tabs become \
spaces, spaces at the start and end of every line go, blank lines go and runs of spaces \
shrink to one. A window program for lists of files and a command-line trimmer.")
set(CPACK_PACKAGE_CONTACT "${BREVIO_SUPPORT_ADDRESS}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${BREVIO_WEB_SITE}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libcomrt.so is ours and ships in the package: dpkg-shlibdeps looks it up there.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${PROJECT_BINARY_DIR}/bin")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, fonts-dejavu-core")
include(CPack)
