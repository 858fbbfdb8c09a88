# What `cmake --install` puts in place, and the packages `cpack` makes of it.
# Three components:
#   packager  the default install: quillon-pack, the stub where it looks for
#             it, the documentation, the manual page, the bash completion
#             and the CMake package
#   licence   LICENSE beside the documentation (the Debian package has it
#             in its copyright file instead)
#   debian    what only the Debian package carries: its copyright and
#             changelog files in Debian's form
#   windows   the zip for Windows: quillon-pack.exe, the stub beside it, the
#             manual as text (quillon-pack.txt), the licence and the notices
#             of what is linked in
include(CMakePackageConfigHelpers)

set(QUILLON_CMAKE_DIR ${CMAKE_INSTALL_DATADIR}/cmake/Quillon)

install(TARGETS quillon-pack EXPORT QuillonTargets RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT packager)
# A stripped install (cpack strips) loses the compiler's notes as well, as
# Debian's own packages do.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
                            \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/quillon-pack\"
                    COMMAND_ERROR_IS_FATAL ANY)
  endif()" COMPONENT packager)
if(QUILLON_TARGET)
  install(FILES ${QUILLON_TARGET_DIR}/setup-stub.exe DESTINATION ${QUILLON_STUB_INSTALL_DIR} COMPONENT packager)
endif()
install(FILES README.md docs/packager.md docs/package-format.md DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT packager)
install(FILES ${QUILLON_MANUAL_PAGE}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT packager)
install(FILES ${QUILLON_COMPLETION} DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        COMPONENT packager)
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT licence)

# find_package(Quillon CONFIG): the packager as an imported target and
# quillon_add_installer. Arch-independent: a project cross-built for 32-bit
# Windows uses the host's packager.
install(EXPORT QuillonTargets NAMESPACE Quillon:: DESTINATION ${QUILLON_CMAKE_DIR} COMPONENT packager)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/QuillonConfigVersion.cmake
  COMPATIBILITY SameMajorVersion ARCH_INDEPENDENT)
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/QuillonConfig.cmake.in ${CMAKE_BINARY_DIR}/QuillonConfig.cmake
  INSTALL_DESTINATION ${QUILLON_CMAKE_DIR} PATH_VARS QUILLON_STUB_INSTALL_DIR)
install(FILES ${CMAKE_BINARY_DIR}/QuillonConfig.cmake ${CMAKE_BINARY_DIR}/QuillonConfigVersion.cmake
        DESTINATION ${QUILLON_CMAKE_DIR} COMPONENT packager)

include(${CMAKE_SOURCE_DIR}/cmake/DebianFiles.cmake)
install(FILES ${QUILLON_DEBIAN_COPYRIGHT} ${QUILLON_DEBIAN_CHANGELOG}
        DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT debian EXCLUDE_FROM_ALL)

if(QUILLON_TARGET AND QUILLON_WINDOWS_PACK_DIR)
  install(PROGRAMS ${QUILLON_WINDOWS_PACK_DIR}/quillon-pack.exe ${QUILLON_TARGET_DIR}/setup-stub.exe
          DESTINATION . COMPONENT windows EXCLUDE_FROM_ALL)
  install(FILES LICENSE DESTINATION . RENAME LICENSE.txt COMPONENT windows EXCLUDE_FROM_ALL)
  # The same options on both sides: the host's packager writes the text.
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/quillon-pack.txt
    COMMAND ${CMAKE_COMMAND} -DPACK=$<TARGET_FILE:quillon-pack> -DOUT=${CMAKE_BINARY_DIR}/quillon-pack.txt
            -P ${CMAKE_SOURCE_DIR}/cmake/ManualText.cmake
    DEPENDS quillon-pack ${CMAKE_SOURCE_DIR}/cmake/ManualText.cmake VERBATIM)
  add_custom_target(manual-text ALL DEPENDS ${CMAKE_BINARY_DIR}/quillon-pack.txt)
  install(FILES ${CMAKE_BINARY_DIR}/quillon-pack.txt DESTINATION . COMPONENT windows EXCLUDE_FROM_ALL)
  install(FILES ${QUILLON_LIBDEFLATE_SOURCE}/COPYING DESTINATION notices RENAME libdeflate.txt
          COMPONENT windows EXCLUDE_FROM_ALL)
  install(FILES /usr/share/doc/mingw-w64-i686-dev/copyright DESTINATION notices RENAME mingw-w64.txt
          COMPONENT windows EXCLUDE_FROM_ALL)
endif()

include(${CMAKE_SOURCE_DIR}/cmake/CPackSetup.cmake)
