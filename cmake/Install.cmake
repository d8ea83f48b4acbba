# Install rules and the Debian package. The window program is installed as bin/vintrel (the build
# tree keeps its own name), with vintrel-cli and vintrel-sim beside it. libQuendel.so is not
# installed: the programs carry its image. share/vintrel/ marks an installed program, which
# keeps its configuration and records in the user's folders instead of beside itself.
include(GNUInstallDirs)

set(VINTREL_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/vintrel)
set(VINTREL_DATA_DIR ${CMAKE_INSTALL_DATADIR}/vintrel)
set(VINTREL_ICON_DIR ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
set(res ${CMAKE_SOURCE_DIR}/resources)

install(TARGETS vintrel-cli vintrel-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(VINTREL_GUI)
  install(PROGRAMS $<TARGET_FILE:VintrelV4_0> DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME vintrel)
  # install(PROGRAMS) leaves stripping to us (cmake --install --strip, CPACK_STRIP_FILES).
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      execute_process(COMMAND \"${CMAKE_STRIP}\"
                      \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/vintrel\")
    endif()")
  install(FILES ${res}/vintrel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${res}/vintrel.svg DESTINATION ${VINTREL_ICON_DIR}/scalable/apps)
  foreach(px 48 128 256)
    install(FILES ${res}/icons/vintrel-${px}.png DESTINATION ${VINTREL_ICON_DIR}/${px}x${px}/apps
            RENAME vintrel.png)
  endforeach()
endif()

# The manual pages carry the project's version.
set(pages vintrel-cli vintrel-sim)
if(VINTREL_GUI)
  list(APPEND pages vintrel)
endif()
foreach(page IN LISTS pages)
  configure_file(${res}/man/${page}.1 ${CMAKE_BINARY_DIR}/man/${page}.1 @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/man/${page}.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/CONTRIBUTING.md ${res}/help/manual.html DESTINATION ${VINTREL_DOC_DIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs DESTINATION ${VINTREL_DOC_DIR})
install(FILES ${res}/share/README DESTINATION ${VINTREL_DATA_DIR})

# cpack -G DEB: a package for /usr whose Depends come from dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vintrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Vintrel")
set(CPACK_PACKAGE_CONTACT "Vintrel maintainers <maintainers@vintrel.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "recorder and live monitor for a voice DSP's diagnostic stream")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Vintrel connects to a voice-processing DSP target over TCP/IP, a serial\n"
    "port or an FT2232H adapter, decodes its diagnostic frame stream and shows\n"
    "the audio channels and the target's load live as level bars or spectra.\n"
    "It records the raw stream, parses records into WAV files with a report of\n"
    "the target's profile, and estimates the echo delay.\n"
    "The package holds the window program vintrel, the command-line receiver\n"
    "vintrel-cli and the target simulator vintrel-sim.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
