# The Debian package (./dev package): the two programs and what data/
# installs. The stand-ins of tools/ install nothing and so stay out of it:
# a fake sieve client and project site are for tests and the demo, which
# run them from the build.
include(GNUInstallDirs)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillstrand)
set(CPACK_PACKAGE_VENDOR "The quillstrand developers")
set(CPACK_PACKAGE_CONTACT "The quillstrand developers <quillstrand@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "administrator for a farm of sieve clients")
set(CPACK_PACKAGE_DESCRIPTION "\
quillstrand watches a small farm of sieve clients, each of which sieves
ranges of trial divisors and writes a status file and a factor file, read as
a local path, a network share or an http address. It shows every machine's
progress, speed and health, submits the new factors to the project's web
site and shares out the queued ranges by the machines' speeds.
.
The package holds the Qt desktop program quillstrand and quillstrand-cli,
the same without a window, with a systemd user service that runs its watch.")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://quillstrand.example.org/")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The libraries the programs link, as dpkg-shlibdeps finds them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})

# What Debian asks of every package's documentation folder.
set(doc ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_PACKAGE_NAME})
install(FILES data/copyright DESTINATION ${doc})
execute_process(COMMAND date -u -R -d @${QUILLSTRAND_RELEASE_EPOCH}
  OUTPUT_VARIABLE release_time OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
set(changelog ${CMAKE_BINARY_DIR}/changelog.Debian)
file(WRITE ${changelog} "\
${CPACK_PACKAGE_NAME} (${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}) unstable; urgency=medium

  * Version ${PROJECT_VERSION}, built with CPack.

 -- ${CPACK_PACKAGE_CONTACT}  ${release_time}
")
install(CODE "execute_process(COMMAND gzip -9nf -k \"${changelog}\" COMMAND_ERROR_IS_FATAL ANY)")
install(FILES ${changelog}.gz DESTINATION ${doc})

include(CPack)
