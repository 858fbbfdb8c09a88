# Host build: the package logic as a library, the packager, unit tests,
# fuzzers and benchmarks; the 32-bit Windows build runs as a sub-build.
option(QUILLON_SANITIZE "Build the host code with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(QUILLON_TARGET "Build the 32-bit Windows stub and driver (needs mingw-w64)" ON)
# quillon-pack.exe compresses with libdeflate built from Debian's source
# package, which scripts/setup.sh fetches: configuring touches no network.
# AUTO builds it when that source is there, ON requires it, OFF leaves it out.
set(QUILLON_WINDOWS_PACK AUTO CACHE STRING "Build quillon-pack.exe for Windows too (AUTO, ON, OFF)")
set_property(CACHE QUILLON_WINDOWS_PACK PROPERTY STRINGS AUTO ON OFF)
set(QUILLON_LIBDEFLATE_CACHE "${CMAKE_SOURCE_DIR}/.deps/libdeflate-source" CACHE PATH
    "Where scripts/setup.sh keeps Debian's libdeflate source package")

if(QUILLON_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

add_library(quillon_core STATIC ${QUILLON_CORE_SOURCES} ${QUILLON_HOST_SOURCES})
target_include_directories(quillon_core PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_compile_options(quillon_core PRIVATE ${QUILLON_WARNINGS})

find_package(PkgConfig REQUIRED)
pkg_check_modules(LIBDEFLATE REQUIRED IMPORTED_TARGET libdeflate)
find_package(ZLIB REQUIRED)
include(${CMAKE_SOURCE_DIR}/cmake/LibdeflateSource.cmake)

include(${CMAKE_SOURCE_DIR}/cmake/Packager.cmake)
# The packager's *_win32.cpp files are its Windows side (cmake/WindowsPack.cmake);
# its folders include one another as "folder/file.h".
file(GLOB_RECURSE PACK_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/pack/*.cpp)
list(FILTER PACK_SOURCES EXCLUDE REGEX "_win32\\.cpp$")
set(PACK_MANUAL_SOURCES ${PACK_SOURCES})
list(FILTER PACK_MANUAL_SOURCES INCLUDE REGEX "${QUILLON_PACK_MANUAL_SOURCES_REGEX}")
list(FILTER PACK_SOURCES EXCLUDE REGEX "${QUILLON_PACK_MANUAL_SOURCES_REGEX}")
if(PACK_SOURCES)
  add_executable(quillon-pack ${PACK_SOURCES})
  target_include_directories(quillon-pack PRIVATE ${CMAKE_SOURCE_DIR}/tools/pack)
  target_compile_options(quillon-pack PRIVATE ${QUILLON_WARNINGS})
  target_link_libraries(quillon-pack PRIVATE quillon_core PkgConfig::LIBDEFLATE)
  quillon_packager_definitions(quillon-pack)
  if(NOT QUILLON_SANITIZE)
    # The hardening Debian builds its packages' programs with (dpkg-buildflags).
    target_compile_options(quillon-pack PRIVATE -fstack-protector-strong)
    target_compile_definitions(quillon-pack PRIVATE $<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
    target_link_options(quillon-pack PRIVATE -Wl,-z,relro,-z,now)
  endif()
endif()
if(PACK_MANUAL_SOURCES)
  include(${CMAKE_SOURCE_DIR}/cmake/Manual.cmake)
endif()

enable_testing()
find_package(GTest REQUIRED)
file(GLOB UNIT_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp)
# The packager's portable pieces that the unit tests take as they are.
add_executable(unit_tests ${UNIT_TEST_SOURCES} ${CMAKE_SOURCE_DIR}/tools/pack/building/deflate_pieces.cpp
                          ${CMAKE_SOURCE_DIR}/tools/pack/support/json_writer.cpp)
target_compile_options(unit_tests PRIVATE ${QUILLON_WARNINGS} -Wno-sign-conversion -Wno-conversion -Wno-missing-field-initializers)
# The packager's portable headers, as "pack/folder/file.h", and what they include.
target_include_directories(unit_tests PRIVATE ${CMAKE_SOURCE_DIR}/tools ${CMAKE_SOURCE_DIR}/tools/pack)
target_link_libraries(unit_tests PRIVATE quillon_core GTest::gtest GTest::gtest_main ZLIB::ZLIB PkgConfig::LIBDEFLATE)
target_compile_definitions(unit_tests PRIVATE QUILLON_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
include(GoogleTest)
gtest_discover_tests(unit_tests DISCOVERY_TIMEOUT 60 PROPERTIES LABELS unit)

include(${CMAKE_SOURCE_DIR}/tests/fuzz/Host.cmake OPTIONAL)
include(${CMAKE_SOURCE_DIR}/tests/pack/Host.cmake OPTIONAL)
include(${CMAKE_SOURCE_DIR}/bench/Host.cmake OPTIONAL)
# The scripts' tests do not depend on how the host code is built: once, in
# the main build, not again in the sanitizer build (one boots the VM).
if(NOT QUILLON_SANITIZE)
  include(${CMAKE_SOURCE_DIR}/tests/scripts/Host.cmake OPTIONAL)
endif()

if(QUILLON_TARGET)
  include(ExternalProject)
  set(QUILLON_TARGET_DIR ${CMAKE_BINARY_DIR}/target)
  ExternalProject_Add(target
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${QUILLON_TARGET_DIR}
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=MinSizeRel
             -DQUILLON_WERROR=${QUILLON_WERROR}
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    USES_TERMINAL_BUILD ON)
  if(QUILLON_LIBDEFLATE_SOURCE)
    # Its own build: it needs the mingw flavour with threads.
    set(QUILLON_WINDOWS_PACK_DIR ${CMAKE_BINARY_DIR}/target-pack)
    ExternalProject_Add(target-pack
      SOURCE_DIR ${CMAKE_SOURCE_DIR}
      BINARY_DIR ${QUILLON_WINDOWS_PACK_DIR}
      CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-i686-posix.cmake -DCMAKE_BUILD_TYPE=Release
                 -DQUILLON_WINDOWS_PACK_ONLY=ON -DQUILLON_LIBDEFLATE_SOURCE=${QUILLON_LIBDEFLATE_SOURCE}
                 -DQUILLON_WERROR=${QUILLON_WERROR}
      INSTALL_COMMAND ""
      BUILD_ALWAYS ON
      USES_TERMINAL_BUILD ON)
  endif()
  include(${CMAKE_SOURCE_DIR}/tests/e2e/Host.cmake OPTIONAL)
endif()

if(TARGET quillon-pack)
  include(${CMAKE_SOURCE_DIR}/cmake/Install.cmake)
endif()
