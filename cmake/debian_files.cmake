# Run by CPack once the files of the Debian package are staged, before it
# packs them: puts in the files Debian asks of every package beside the ones
# `cmake --install` installs.
#   - the manual pages compressed (gzip -9n: no name or time stamp inside);
#   - /usr/share/doc/PACKAGE/copyright, machine-readable, from LICENSE;
#   - /usr/share/doc/PACKAGE/changelog.Debian.gz, from the changelog in cmake/debian/,
#     whose latest entry must name the version being packed;
#   - /usr/share/lintian/overrides/PACKAGE, from cmake/debian/lintian-overrides.
set(root ${CPACK_TEMPORARY_DIRECTORY})
set(docdir ${root}${CPACK_PACKAGING_INSTALL_PREFIX}/share/doc/${CPACK_PACKAGE_NAME})
set(overridedir ${root}${CPACK_PACKAGING_INSTALL_PREFIX}/share/lintian/overrides)
set(version ${CPACK_PACKAGE_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
set(changelog ${CPACK_TARNWICK_DEBIAN_DIR}/changelog)
set(file_mode OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
set(dir_mode OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

function(gzip_in_place file)
  execute_process(COMMAND gzip -9nf ${file} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip failed on ${file}")
  endif()
endfunction()

file(GLOB_RECURSE pages ${root}/*.[1-9])
list(FILTER pages INCLUDE REGEX "/man/man[1-9]/[^/]+$")
foreach(page IN LISTS pages)
  gzip_in_place(${page})
endforeach()

# The changelog's latest entry, its first line, names the package's version.
file(STRINGS ${changelog} first_line LIMIT_COUNT 1)
if(NOT first_line MATCHES "^${CPACK_PACKAGE_NAME} \\(([^)]+)\\) ")
  message(FATAL_ERROR "${changelog}: the first line is no changelog entry")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL version)
  message(FATAL_ERROR "${changelog}: the latest entry is for ${CMAKE_MATCH_1}, "
                      "the package is ${version}: add an entry for ${version}")
endif()

# The copyright file: one paragraph for every file, with the holders and the
# licence's text (its notice onwards) from LICENSE, each line of the text
# indented, empty lines as " .".
file(READ ${CPACK_RESOURCE_FILE_LICENSE} licence)
if(NOT licence MATCHES "Copyright \\(c\\) ([^\n]+)")
  message(FATAL_ERROR "${CPACK_RESOURCE_FILE_LICENSE}: no copyright line")
endif()
set(holders ${CMAKE_MATCH_1})
string(FIND "${licence}" "Permission is hereby granted" start)
if(start LESS 0)
  message(FATAL_ERROR "${CPACK_RESOURCE_FILE_LICENSE}: no MIT permission notice")
endif()
string(SUBSTRING "${licence}" ${start} -1 licence)
string(STRIP "${licence}" licence)
string(REPLACE "\n\n" "\n.\n" licence "${licence}")
string(REPLACE "\n" "\n " licence "${licence}")
file(MAKE_DIRECTORY ${docdir})
file(WRITE ${docdir}/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: ${CPACK_PACKAGE_NAME}
Upstream-Contact: ${CPACK_PACKAGE_CONTACT}

Files: *
Copyright: ${holders}
License: Expat
Comment: The MIT licence, which Debian names Expat.

License: Expat
 ${licence}
")

file(COPY_FILE ${changelog} ${docdir}/changelog.Debian)
gzip_in_place(${docdir}/changelog.Debian)

file(MAKE_DIRECTORY ${overridedir})
file(COPY_FILE ${CPACK_TARNWICK_DEBIAN_DIR}/lintian-overrides ${overridedir}/${CPACK_PACKAGE_NAME})

# Modes as Debian wants them, whatever the umask of the build.
file(CHMOD ${docdir}/copyright ${docdir}/changelog.Debian.gz ${overridedir}/${CPACK_PACKAGE_NAME}
     PERMISSIONS ${file_mode})
file(CHMOD ${docdir} ${docdir}/.. ${overridedir} ${overridedir}/.. PERMISSIONS ${dir_mode})
