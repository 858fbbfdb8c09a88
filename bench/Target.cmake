# The floor program for the install benchmark (bench/install_compare.py): the
# calls an installer cannot do without, timed beside the stub under Wine.
add_executable(install_floor ${CMAKE_SOURCE_DIR}/bench/install_floor.cpp)
target_compile_options(install_floor PRIVATE ${QUILLON_WARNINGS} -O2)
target_link_options(install_floor PRIVATE -static -mwindows)

# Inflate benchmark, i686 build (run under Wine): the decoder compiled exactly
# as the stub compiles it, against zlib built for i686 (libz-mingw-w64-dev)
# and, when bench/run.sh has built it, libdeflate.
find_library(MINGW_ZLIB NAMES libz.a z)
if(NOT MINGW_ZLIB)
  message(STATUS "No zlib for i686 (libz-mingw-w64-dev): no i686 inflate benchmark")
  return()
endif()
add_library(bench_decoder_i686 OBJECT EXCLUDE_FROM_ALL
  ${CMAKE_SOURCE_DIR}/src/inflate/inflate.cpp ${CMAKE_SOURCE_DIR}/src/inflate/huffman.cpp
  ${CMAKE_SOURCE_DIR}/src/inflate/fast_table.cpp
  ${CMAKE_SOURCE_DIR}/src/base/crc.cpp ${CMAKE_SOURCE_DIR}/src/base/crc_win32.cpp
  ${CMAKE_SOURCE_DIR}/src/crypt/zip_crypt.cpp)
target_include_directories(bench_decoder_i686 PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_compile_options(bench_decoder_i686 PRIVATE ${STUB_CXX_FLAGS})
add_executable(inflate_bench_i686 EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/bench/inflate_bench.cpp
  ${CMAKE_SOURCE_DIR}/src/base/memory_host.cpp $<TARGET_OBJECTS:bench_decoder_i686>)
target_include_directories(inflate_bench_i686 PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_compile_options(inflate_bench_i686 PRIVATE -O2)
target_link_options(inflate_bench_i686 PRIVATE -static)
target_link_libraries(inflate_bench_i686 PRIVATE ${MINGW_ZLIB})

# libdeflate built for i686 from Debian's source (bench/run.sh fetches and
# builds it): the second anchor.
set(QUILLON_BENCH_LIBDEFLATE_DIR "" CACHE PATH "libdeflate's source, built for i686 with its makefile")
if(QUILLON_BENCH_LIBDEFLATE_DIR)
  target_include_directories(inflate_bench_i686 PRIVATE ${QUILLON_BENCH_LIBDEFLATE_DIR})
  target_compile_definitions(inflate_bench_i686 PRIVATE QUILLON_BENCH_LIBDEFLATE)
  target_link_libraries(inflate_bench_i686 PRIVATE ${QUILLON_BENCH_LIBDEFLATE_DIR}/libdeflatestatic.lib)
endif()
