# Installation and the Debian package.
#   cmake --install build --prefix /usr/local
#   (cd build && cpack -G DEB)   ->  brevio_<version>_<arch>.deb, installs with apt
#
# Layout: bin/brevio, bin/brevio-trim; lib/brevio/{TARNEX.so, libcomrt.so,
# libbrevio-fileio.so, regsvr}
# (private: found through RUNPATH $ORIGIN/../lib/brevio from bin, $ORIGIN inside);
# share/brevio/tools/brevio_help.htm (the default help site); the desktop entry
# and the icon; the manual pages; bash completion for brevio-trim; copyright
# and changelog in share/doc/brevio. The program registers TARNEX.so for its
# user on first start.

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

# Manual pages and the changelog carry the project's version and go in
# compressed the way Debian wants them: gzip -9, without name or time stamp.
function(brevio_gzip_configured source output)
  get_filename_component(name ${output} NAME_WLE)
  configure_file(${source} ${PROJECT_BINARY_DIR}/packaging/${name} @ONLY)
  execute_process(COMMAND gzip -9 -n -c
                  INPUT_FILE ${PROJECT_BINARY_DIR}/packaging/${name}
                  OUTPUT_FILE ${output}
                  COMMAND_ERROR_IS_FATAL ANY)
endfunction()

set(BREVIO_MAINTAINER "Brevio Maintainers <${BREVIO_SUPPORT_ADDRESS}>")
foreach(page brevio brevio-trim)
  brevio_gzip_configured(${PROJECT_SOURCE_DIR}/docs/${page}.1
                         ${PROJECT_BINARY_DIR}/packaging/${page}.1.gz)
  install(FILES ${PROJECT_BINARY_DIR}/packaging/${page}.1.gz
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT brevio)
endforeach()
brevio_gzip_configured(${PROJECT_SOURCE_DIR}/packaging/changelog.in
                       ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${PROJECT_BINARY_DIR}/packaging/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/brevio COMPONENT brevio)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/brevio-trim.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME brevio-trim COMPONENT brevio)

# Only what the package needs: no test programs or static helpers.
set(CPACK_INSTALL_CMAKE_PROJECTS "${PROJECT_BINARY_DIR};${PROJECT_NAME};brevio;/")
set(CPACK_PACKAGE_NAME brevio)
set(CPACK_PACKAGE_VENDOR "Brevio")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Trims web page files line by line")
# Lines of at most 80 columns, as Debian wants (the summary goes in front).
set(CPACK_PACKAGE_DESCRIPTION "Brevio makes HTML, ASP and PHP files smaller: tabs become spaces, spaces at
the start and end of every line go, blank lines go and runs of spaces shrink
to one. A window program for lists of files and a command-line trimmer.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${BREVIO_MAINTAINER}")
set(CPACK_PACKAGE_CONTACT "${BREVIO_MAINTAINER}")
# Binaries ship stripped, as Debian requires.
set(CPACK_STRIP_FILES ON)
# CPack adds maintainer scripts that run ldconfig for any library below
# /usr/lib; ours are private (lib/brevio, found through RUNPATH) and ldconfig
# never reads that folder, so the scripts are taken out again.
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/BrevioDebNoLdconfig.cmake)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${BREVIO_WEB_SITE}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libcomrt.so is ours and ships in the package: dpkg-shlibdeps looks it up there.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${PROJECT_BINARY_DIR}/bin")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, fonts-dejavu-core")
include(CPack)
