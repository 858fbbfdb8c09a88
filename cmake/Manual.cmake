# The manual page quillon-pack.1 (gzipped, as Debian wants it) and the bash
# completion, written at build time from the packager's table of options by
# the generator quillon-pack-manual (host only: quillon-pack.exe does not
# need it). The page is dated by SOURCE_DATE_EPOCH or else by the version's
# date, never by the time of the build.
add_executable(quillon-pack-manual ${PACK_MANUAL_SOURCES})
target_include_directories(quillon-pack-manual PRIVATE ${CMAKE_SOURCE_DIR}/tools/pack)
target_compile_options(quillon-pack-manual PRIVATE ${QUILLON_WARNINGS})
quillon_packager_definitions(quillon-pack-manual)

if(DEFINED ENV{SOURCE_DATE_EPOCH})
  string(TIMESTAMP QUILLON_MANUAL_DATE "%Y-%m-%d" UTC)
else()
  set(QUILLON_MANUAL_DATE ${QUILLON_VERSION_DATE})
endif()

set(QUILLON_MANUAL_PAGE ${CMAKE_BINARY_DIR}/manual/quillon-pack.1)
set(QUILLON_COMPLETION ${CMAKE_BINARY_DIR}/manual/quillon-pack)
add_custom_command(OUTPUT ${QUILLON_MANUAL_PAGE} ${QUILLON_MANUAL_PAGE}.gz ${QUILLON_COMPLETION}
  COMMAND quillon-pack-manual page ${QUILLON_MANUAL_DATE} ${QUILLON_MANUAL_PAGE}
  COMMAND gzip -9nkf ${QUILLON_MANUAL_PAGE}
  COMMAND quillon-pack-manual completion ${QUILLON_COMPLETION}
  DEPENDS quillon-pack-manual
  COMMENT "Writing the manual page and the bash completion of quillon-pack"
  VERBATIM)
add_custom_target(manual ALL DEPENDS ${QUILLON_MANUAL_PAGE}.gz ${QUILLON_COMPLETION})
