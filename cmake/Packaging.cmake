# A Debian package of the installed layout (on Windows a zip of it) and a source archive:
#   cmake --build build --target package          build/corvalin_<version>_<arch>.deb
#                                                 build-win-<arch>/corvalin-<version>-win32.zip
#                                                 (or -win64.zip)
#   cmake --build build --target package_source   build/corvalin-<version>-source.tar.gz
# The package's run-time dependencies are derived from the built files by dpkg-shlibdeps
# (Debian: dpkg-dev), never typed here, so they follow whatever the build links.
set(CPACK_PACKAGE_NAME corvalin)
set(CPACK_PACKAGE_VENDOR "The Corvalin authors")
set(CPACK_PACKAGE_CONTACT "${CORVALIN_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "command-line file encryption with Rijndael")
# Lines of at most 80 characters, as Debian's control files want them.
set(CPACK_PACKAGE_DESCRIPTION
  "Encrypts and decrypts files in place with Rijndael (AES), with optional gzip or\nbzip2 compression, name hiding and wiping of removed files.")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # No ldconfig calls for the private modules; see the script.
  set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/drop-ldconfig-calls.cmake)
endif()

set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_PACKAGE_FILE_NAME corvalin-${PROJECT_VERSION}-source)
# Build trees, fetched sources, the repository's own files and what the README's quick start
# leaves at the top (the sample file and its container) stay out of the archive.
string(REGEX REPLACE "([][+.*?()^$|\\\\])" "\\\\\\\\\\1" CORVALIN_SOURCE_PATTERN "${PROJECT_SOURCE_DIR}")
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git$" "/\\\\.git/" "/build[^/]*/" "/third_party/"
  "^${CORVALIN_SOURCE_PATTERN}/sample\\\\.txt(\\\\.aes)?$")

include(CPack)
