# Installation and release packages.
#
#   cmake --install build            the tool and its manual page
#   cd build && cpack                a Debian package (tarnwick_VERSION_ARCH.deb)
#   cd build-win && cpack            a zip of the Windows build: tarnwick.exe,
#                                    README.md and the manual page as text
include(GNUInstallDirs)

if(WIN32)
  # The manual page as plain text for the zip, rendered on the build machine.
  find_program(TARNWICK_GROFF groff REQUIRED)
  set(man_text ${PROJECT_BINARY_DIR}/tarnwick.txt)
  add_custom_command(OUTPUT ${man_text}
    COMMAND ${CMAKE_COMMAND} -DGROFF=${TARNWICK_GROFF} -DINPUT=${PROJECT_SOURCE_DIR}/tarnwick.1
            -DOUTPUT=${man_text} -P ${PROJECT_SOURCE_DIR}/cmake/man_to_text.cmake
    DEPENDS ${PROJECT_SOURCE_DIR}/tarnwick.1 ${PROJECT_SOURCE_DIR}/cmake/man_to_text.cmake
    COMMENT "Rendering the manual page as text")
  add_custom_target(tarnwick_manual_text ALL DEPENDS ${man_text})
  # Everything side by side at the top of the zip.
  install(TARGETS tarnwick RUNTIME DESTINATION .)
  install(FILES README.md ${man_text} DESTINATION .)
else()
  install(TARGETS tarnwick RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES tarnwick.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

set(CPACK_PACKAGE_NAME tarnwick)
set(CPACK_PACKAGE_VENDOR "The Tarnwick developers")
set(CPACK_PACKAGE_CONTACT "The Tarnwick developers <tarnwick@invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "list, extract, store and delete files in MZ-2500 disk images")
set(CPACK_PACKAGE_DESCRIPTION "Tarnwick works on the standard-format file system of the Sharp MZ-2500
inside HDD, D88 floppy and ROM images: it lists directories, extracts,
stores and deletes files, and makes blank floppy images.")
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME windows-x86_64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  # The dependencies (the C library; the C++ runtime is linked in) as
  # dpkg-shlibdeps finds them.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # Debian keeps manual pages compressed.
  set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/compress_man_pages.cmake)
endif()
include(CPack)
