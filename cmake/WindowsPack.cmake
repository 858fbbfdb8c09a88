# The packager for Windows, quillon-pack.exe: the same sources as the host's
# packager with the *_win32.cpp files in place of the *_posix.cpp ones, and
# libdeflate built from Debian's source package of the host's version, so that
# both compress alike. Linked statically: the .exe needs no DLL beside it.
if(NOT EXISTS "${QUILLON_LIBDEFLATE_SOURCE}/libdeflate.h")
  message(FATAL_ERROR "no libdeflate source at '${QUILLON_LIBDEFLATE_SOURCE}' (scripts/setup.sh fetches it)")
endif()
message(STATUS "libdeflate source: ${QUILLON_LIBDEFLATE_SOURCE}")
include(${CMAKE_SOURCE_DIR}/cmake/Packager.cmake)

file(GLOB LIBDEFLATE_SOURCES ${QUILLON_LIBDEFLATE_SOURCE}/lib/*.c ${QUILLON_LIBDEFLATE_SOURCE}/lib/x86/*.c)
add_library(deflate STATIC ${LIBDEFLATE_SOURCES})
target_include_directories(deflate PUBLIC ${QUILLON_LIBDEFLATE_SOURCE})
target_compile_options(deflate PRIVATE -O2)

file(GLOB_RECURSE PACK_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/pack/*.cpp)
list(FILTER PACK_SOURCES EXCLUDE REGEX "_posix\\.cpp$")
list(FILTER PACK_SOURCES EXCLUDE REGEX "${QUILLON_PACK_MANUAL_SOURCES_REGEX}")
add_executable(quillon-pack ${QUILLON_CORE_SOURCES} ${QUILLON_HOST_SOURCES} ${PACK_SOURCES})
target_include_directories(quillon-pack PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tools/pack)
target_compile_options(quillon-pack PRIVATE ${QUILLON_WARNINGS} -O2)
# Windows 7 on: GetFileInformationByHandleEx.
target_compile_definitions(quillon-pack PRIVATE _WIN32_WINNT=0x0601 WINVER=0x0601 WIN32_LEAN_AND_MEAN NOMINMAX)
target_link_options(quillon-pack PRIVATE -static -s)
target_link_libraries(quillon-pack PRIVATE deflate advapi32)
quillon_packager_definitions(quillon-pack)
