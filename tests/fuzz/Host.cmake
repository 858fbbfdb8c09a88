# The inflate decoder's fuzz target. inflate_corpus replays the seed corpus
# through the same checks as a unit test with any compiler; with clang,
# inflate_fuzz is the libFuzzer target under AddressSanitizer and
# UndefinedBehaviorSanitizer (run it with tests/fuzz/run.sh). The decoder's
# sources are compiled into the fuzz target itself so libFuzzer sees their
# coverage whatever the rest of the build uses.
set(INFLATE_FUZZ_DIR ${CMAKE_SOURCE_DIR}/tests/fuzz)

add_executable(inflate_corpus ${INFLATE_FUZZ_DIR}/inflate_fuzz.cpp ${INFLATE_FUZZ_DIR}/reference_entry.cpp
  ${INFLATE_FUZZ_DIR}/corpus_main.cpp)
target_compile_options(inflate_corpus PRIVATE ${QUILLON_WARNINGS} -Wno-sign-conversion -Wno-conversion)
target_link_libraries(inflate_corpus PRIVATE quillon_core ZLIB::ZLIB)
add_test(NAME inflate_fuzz_corpus COMMAND inflate_corpus ${INFLATE_FUZZ_DIR}/corpus/inflate)
set_tests_properties(inflate_fuzz_corpus PROPERTIES LABELS unit)

if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  set(FUZZ_FLAGS -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_executable(inflate_fuzz EXCLUDE_FROM_ALL ${INFLATE_FUZZ_DIR}/inflate_fuzz.cpp ${INFLATE_FUZZ_DIR}/reference_entry.cpp
    ${CMAKE_SOURCE_DIR}/src/inflate/inflate.cpp ${CMAKE_SOURCE_DIR}/src/inflate/huffman.cpp
  ${CMAKE_SOURCE_DIR}/src/inflate/fast_table.cpp
    ${CMAKE_SOURCE_DIR}/src/base/crc.cpp ${CMAKE_SOURCE_DIR}/src/crypt/zip_crypt.cpp
    ${CMAKE_SOURCE_DIR}/src/base/memory_host.cpp)
  target_include_directories(inflate_fuzz PRIVATE ${CMAKE_SOURCE_DIR}/src)
  target_compile_options(inflate_fuzz PRIVATE ${FUZZ_FLAGS})
  # Only in the fuzz target: inflate_corpus compiles the same file without
  # coverage, and clang rejects the unused flag there.
  set_source_files_properties(${INFLATE_FUZZ_DIR}/reference_entry.cpp TARGET_DIRECTORY inflate_fuzz
    PROPERTIES COMPILE_OPTIONS "$<$<STREQUAL:$<TARGET_PROPERTY:NAME>,inflate_fuzz>:-fsanitize-coverage-allowlist=/dev/null>")
  target_link_options(inflate_fuzz PRIVATE ${FUZZ_FLAGS})
  target_link_libraries(inflate_fuzz PRIVATE ZLIB::ZLIB)
endif()

# The whole package as the installer reads it: package_corpus replays its seed
# corpus (real installers from the packager) with any compiler; with clang,
# package_fuzz is the libFuzzer target.
set(PACKAGE_FUZZ_SOURCES ${INFLATE_FUZZ_DIR}/package_fuzz.cpp)
add_executable(package_corpus ${PACKAGE_FUZZ_SOURCES} ${INFLATE_FUZZ_DIR}/corpus_main.cpp)
target_compile_options(package_corpus PRIVATE ${QUILLON_WARNINGS} -Wno-sign-conversion -Wno-conversion)
target_link_libraries(package_corpus PRIVATE quillon_core)
add_test(NAME package_fuzz_corpus COMMAND package_corpus ${INFLATE_FUZZ_DIR}/corpus/package)
set_tests_properties(package_fuzz_corpus PROPERTIES LABELS unit)

if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  file(GLOB PACKAGE_CORE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/package/*.cpp
    ${CMAKE_SOURCE_DIR}/src/inflate/*.cpp ${CMAKE_SOURCE_DIR}/src/crypt/*.cpp ${CMAKE_SOURCE_DIR}/src/fs/path.cpp
    ${CMAKE_SOURCE_DIR}/src/fs/package_io.cpp ${CMAKE_SOURCE_DIR}/src/base/crc.cpp)
  list(FILTER PACKAGE_CORE_SOURCES EXCLUDE REGEX "_win32\\.cpp$")
  add_executable(package_fuzz EXCLUDE_FROM_ALL ${PACKAGE_FUZZ_SOURCES} ${PACKAGE_CORE_SOURCES}
    ${CMAKE_SOURCE_DIR}/src/base/memory_host.cpp)
  target_include_directories(package_fuzz PRIVATE ${CMAKE_SOURCE_DIR}/src)
  target_compile_options(package_fuzz PRIVATE ${FUZZ_FLAGS})
  target_link_options(package_fuzz PRIVATE ${FUZZ_FLAGS})
endif()
