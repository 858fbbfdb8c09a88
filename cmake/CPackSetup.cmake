# cpack (in the build folder) makes the Debian package of the packager and,
# with the Windows builds on, the zip for Windows; both in build/packages/.
set(CPACK_PACKAGE_NAME quillon)
set(CPACK_PACKAGE_VENDOR "The Quillon developers")
set(CPACK_PACKAGE_CONTACT "${QUILLON_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "self-extracting installers for 32-bit Windows")
set(CPACK_PACKAGE_DESCRIPTION "quillon-pack turns a folder of files and an INF file into one Windows program
that shows a title, an information text and a licence, extracts the files,
installs the INF file with the Windows setup engine and cleans up. The
installer stub is a Win32 program of less than 35 KB without any runtime
library. The installers are also ZIP archives; quillon-pack lists, verifies
and extracts them, and builds the same installer from the same inputs.")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_THREADS 1)

set(CPACK_GENERATOR DEB)
if(QUILLON_TARGET AND QUILLON_WINDOWS_PACK_DIR)
  list(APPEND CPACK_GENERATOR ZIP)
endif()
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
# Each generator packs its own components (cmake/CPackGenerators.cmake).
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_SOURCE_DIR}/cmake/CPackGenerators.cmake)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS wine)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
