# The Debian package's copyright file (machine-readable, from LICENSE) and its
# changelog, dated by SOURCE_DATE_EPOCH or else by the last commit, so that
# two builds of one commit make the same package.
set(QUILLON_PACKAGE_CONTACT "The Quillon developers <quillon@example.org>" CACHE STRING
    "Maintainer of the packages: name <address>")

file(READ ${CMAKE_SOURCE_DIR}/LICENSE licence)
string(REGEX MATCH "\nCopyright \\(c\\) ([^\n]*)" notice "${licence}")
set(notice ${CMAKE_MATCH_1})
string(REGEX REPLACE "^.*\nCopyright \\(c\\) [^\n]*\n\n" "" licence "${licence}")
string(REGEX REPLACE "\n+$" "" licence "${licence}")
string(REPLACE "\n\n" "\n.\n" licence "${licence}")
string(REPLACE "\n" "\n " licence "${licence}")
set(QUILLON_DEBIAN_COPYRIGHT ${CMAKE_BINARY_DIR}/debian/copyright)
file(WRITE ${QUILLON_DEBIAN_COPYRIGHT}
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: Quillon

Files: *
Copyright: ${notice}
License: Expat
 ${licence}
")

if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(release_time $ENV{SOURCE_DATE_EPOCH})
else()
  execute_process(COMMAND git -C ${CMAKE_SOURCE_DIR} log -1 --format=%ct
                  OUTPUT_VARIABLE release_time OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT release_time MATCHES "^[0-9]+$")
    string(TIMESTAMP release_time "%s" UTC)
  endif()
endif()
set(saved_epoch "$ENV{SOURCE_DATE_EPOCH}")
set(ENV{SOURCE_DATE_EPOCH} ${release_time})
string(TIMESTAMP release_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(ENV{SOURCE_DATE_EPOCH} "${saved_epoch}")
if(saved_epoch STREQUAL "")
  unset(ENV{SOURCE_DATE_EPOCH})
endif()
set(QUILLON_RELEASE_TIME ${release_time})

file(WRITE ${CMAKE_BINARY_DIR}/debian/changelog
"quillon (${PROJECT_VERSION}) unstable; urgency=medium

  * Release ${PROJECT_VERSION}.

 -- ${QUILLON_PACKAGE_CONTACT}  ${release_date}
")
set(QUILLON_DEBIAN_CHANGELOG ${CMAKE_BINARY_DIR}/debian/changelog.gz)
execute_process(COMMAND gzip -9nc ${CMAKE_BINARY_DIR}/debian/changelog
                OUTPUT_FILE ${QUILLON_DEBIAN_CHANGELOG} RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "gzip failed on the Debian changelog")
endif()
