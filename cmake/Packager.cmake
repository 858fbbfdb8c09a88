# What the packager's builds (the host's quillon-pack and quillon-pack.exe)
# share: the install layout, and the compile definitions taken from it and
# from the project's version.
# The documentation goes where Debian wants a package's: share/doc/quillon.
set(CMAKE_INSTALL_DOCDIR share/doc/quillon CACHE PATH "Documentation (DATAROOTDIR/doc/quillon)")
include(GNUInstallDirs)
set(QUILLON_STUB_INSTALL_DIR ${CMAKE_INSTALL_DATADIR}/quillon)

# The version, and where an installed packager finds the stub from its own
# folder.
function(quillon_packager_definitions target)
  file(RELATIVE_PATH stub_dir ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_PREFIX}/${QUILLON_STUB_INSTALL_DIR})
  target_compile_definitions(${target} PRIVATE QUILLON_VERSION="${PROJECT_VERSION}"
                                               QUILLON_STUB_INSTALL_DIR="${stub_dir}")
endfunction()

# The generator of the manual page and the bash completion (manual_main.cpp
# and what only it uses): a tool of the host build, no part of either packager.
set(QUILLON_PACK_MANUAL_SOURCES_REGEX "/tools/pack/(manual_main|cli/manual_page|cli/completion)\\.cpp$")
