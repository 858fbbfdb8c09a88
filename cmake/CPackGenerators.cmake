# Read by cpack once per generator: the Debian package holds the default
# install and Debian's own files, the zip the Windows programs.
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_COMPONENTS_ALL packager debian)
elseif(CPACK_GENERATOR STREQUAL "ZIP")
  set(CPACK_COMPONENTS_ALL windows)
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_PACKAGE_FILE_NAME quillon-${CPACK_PACKAGE_VERSION}-win32)
endif()
