# Finds Debian's libdeflate source package for quillon-pack.exe, in the
# version of the host's libdeflate (both must compress alike), below
# QUILLON_LIBDEFLATE_CACHE, where scripts/setup.sh fetches it. Sets
# QUILLON_LIBDEFLATE_SOURCE, empty when the Windows packager is left out.
set(QUILLON_LIBDEFLATE_SOURCE "")
if(QUILLON_WINDOWS_PACK STREQUAL "OFF" OR NOT QUILLON_TARGET)
  return()
endif()
set(candidate "${QUILLON_LIBDEFLATE_CACHE}/libdeflate-${LIBDEFLATE_VERSION}")
if(EXISTS "${candidate}/libdeflate.h" AND EXISTS "${candidate}/lib/deflate_compress.c")
  set(QUILLON_LIBDEFLATE_SOURCE "${candidate}")
  return()
endif()
set(why "quillon-pack.exe needs Debian's libdeflate ${LIBDEFLATE_VERSION} source in '${candidate}', which is not there. "
        "Run 'bash scripts/setup.sh' (or 'bash scripts/libdeflate-source.sh ${QUILLON_LIBDEFLATE_CACHE}') "
        "and configure again")
if(QUILLON_WINDOWS_PACK STREQUAL "ON")
  message(FATAL_ERROR "${why}; or configure with -DQUILLON_WINDOWS_PACK=OFF.")
endif()
message(WARNING "${why}. quillon-pack.exe is left out of this build.")
