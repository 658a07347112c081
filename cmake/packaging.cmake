# Installation and release packages.
#
#   cmake --install build            the tool (stripped) and its manual page
#   cd build && cpack                a Debian package (tarnwick_VERSION-1_ARCH.deb)
#   cd build-win && cpack            a zip of the Windows build: tarnwick.exe,
#                                    README.md and docs/, LICENSE and the manual
#                                    page as text
include(GNUInstallDirs)

# Installed programs are stripped, also by a plain `cmake --install` (the
# build folder keeps the symbols). Set here, ahead of every install rule.
install(CODE "set(CMAKE_INSTALL_DO_STRIP TRUE)")
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

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
  install(FILES README.md LICENSE ${man_text} DESTINATION .)
  # The pages the README links to, beside it as they are in the source.
  install(DIRECTORY docs DESTINATION . FILES_MATCHING PATTERN "*.md")
else()
  install(TARGETS tarnwick RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES tarnwick.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  # Every message in English, which the manual page names.
  install(FILES docs/messages.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

set(CPACK_PACKAGE_NAME tarnwick)
set(CPACK_PACKAGE_VENDOR "Tarnwick developers")
set(CPACK_PACKAGE_CONTACT "Tarnwick developers <tarnwick@users.noreply.github.com>")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "list, extract, store and delete files in MZ-2500 disk images")
set(CPACK_PACKAGE_DESCRIPTION "Tarnwick works on the standard-format file system of the Sharp MZ-2500
inside HDD images, D88 floppy images (one disk or several in a file), raw
floppy images and ROM images. It lists directories (L), extracts, stores
and deletes files (R, W, D), writes a host file over records (I), makes
blank floppy images (F), makes and removes subdirectories (M, K), copies
whole directory trees out to a host folder and back (X, A), copies one
floppy disk into an image file of its own (C), examines a volume for
damage (E), and turns BASIC tape files into listings and back (T).")
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME windows-x86_64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  # Packaging revision 1 of the release: the version is PROJECT_VERSION-1,
  # which the changelog's latest entry must name.
  set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  # The dependencies (the C library; the C++ runtime is linked in) as
  # dpkg-shlibdeps finds them.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # Compressed manual pages, the copyright file, the changelog and the
  # lintian overrides, put in once the installed files are staged.
  set(CPACK_TARNWICK_DEBIAN_DIR ${PROJECT_SOURCE_DIR}/cmake/debian)
  set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/debian_files.cmake)
endif()
include(CPack)
