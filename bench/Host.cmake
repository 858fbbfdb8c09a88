# Inflate benchmark, native build: our decoder against zlib and libdeflate.
# Run it with bench/run.sh, which also builds and runs the i686 build; it is
# left out of the default build.
add_executable(inflate_bench EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/bench/inflate_bench.cpp)
target_compile_definitions(inflate_bench PRIVATE QUILLON_BENCH_LIBDEFLATE)
target_link_libraries(inflate_bench PRIVATE quillon_core ZLIB::ZLIB PkgConfig::LIBDEFLATE)
