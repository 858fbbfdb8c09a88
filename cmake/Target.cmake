# 32-bit Windows build: the installer stub and the GUI test driver.
enable_language(RC)

# The stub carries no C or C++ runtime: its image must stay below the package
# offset, and it must load on the 9x family. No -fdata-sections: with it this
# compiler gives each zero-filled object a data section of its own instead of
# a place in .bss, and the zeros take room in the file.
set(STUB_SIZE_LIMIT 35840)
set(STUB_CXX_FLAGS
  ${QUILLON_WARNINGS} -Os -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables
  -fno-unwind-tables -fno-threadsafe-statics -fno-stack-protector -fno-tree-loop-distribute-patterns
  -ffunction-sections -fno-ident -march=i486 -mtune=generic
  # Reproducible wherever it is built: no source path in the image, should
  # one ever be compiled in (tests/pack/stub_reproducible.sh checks).
  -ffile-prefix-map=${CMAKE_SOURCE_DIR}/=)

# The decoder and the CRC are compiled without a frame pointer: smaller code,
# and one more register for their loops. Their files are the same in the i686
# benchmark.
file(GLOB STUB_DECODER_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/inflate/*.cpp
  ${CMAKE_SOURCE_DIR}/src/base/crc*.cpp)
set_source_files_properties(${STUB_DECODER_SOURCES} PROPERTIES COMPILE_OPTIONS -fomit-frame-pointer)

add_custom_command(
  OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/mnicon.ico
  COMMAND python3 ${CMAKE_SOURCE_DIR}/tools/make_icon.py ${CMAKE_CURRENT_BINARY_DIR}/mnicon.ico
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/make_icon.py
  COMMENT "Drawing the installer icon")
set_source_files_properties(${CMAKE_SOURCE_DIR}/src/resources/stub.rc PROPERTIES
  OBJECT_DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/mnicon.ico)

add_executable(setup-stub WIN32 ${QUILLON_CORE_SOURCES} ${QUILLON_WIN32_SOURCES}
  ${CMAKE_SOURCE_DIR}/src/resources/stub.rc)
target_include_directories(setup-stub PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_compile_options(setup-stub PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${STUB_CXX_FLAGS}>)
target_compile_definitions(setup-stub PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0400 WINVER=0x0400)
set_target_properties(setup-stub PROPERTIES LINKER_LANGUAGE CXX)
target_link_options(setup-stub PRIVATE
  -nostdlib -s -Wl,-e,_StubEntry -Wl,--gc-sections -Wl,--no-insert-timestamp
  -Wl,--subsystem,windows:4.0 -Wl,--major-os-version,4 -Wl,--minor-os-version,0
  -Wl,--major-subsystem-version,4 -Wl,--minor-subsystem-version,0
  -Wl,--disable-dynamicbase -Wl,--disable-nxcompat -Wl,--disable-reloc-section)
target_link_libraries(setup-stub PRIVATE kernel32 user32 gcc)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I ${CMAKE_CURRENT_BINARY_DIR} -I ${CMAKE_SOURCE_DIR}/src")
add_custom_command(TARGET setup-stub POST_BUILD
  COMMAND ${CMAKE_COMMAND} -DFILE=$<TARGET_FILE:setup-stub> -DLIMIT=${STUB_SIZE_LIMIT} -DOBJDUMP=${CMAKE_OBJDUMP}
          -P ${CMAKE_SOURCE_DIR}/cmake/CheckStub.cmake
  VERBATIM)

# The GUI test driver is an ordinary mingw program with its runtime linked in.
file(GLOB GUIDRIVER_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/guidriver/*.cpp)
if(GUIDRIVER_SOURCES)
  add_executable(guidriver ${GUIDRIVER_SOURCES})
  target_compile_options(guidriver PRIVATE ${QUILLON_WARNINGS} -O2)
  target_link_options(guidriver PRIVATE -static -municode)
  target_link_libraries(guidriver PRIVATE user32 gdi32 kernel32)
endif()

# Extra Win32 programs for the end-to-end tests (stand-ins, probes), one per file.
file(GLOB E2E_HELPER_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/programs/*.cpp)
foreach(source ${E2E_HELPER_SOURCES})
  get_filename_component(name ${source} NAME_WE)
  add_executable(${name} ${source})
  target_compile_options(${name} PRIVATE ${QUILLON_WARNINGS} -O2)
  target_link_options(${name} PRIVATE -static)
  target_link_libraries(${name} PRIVATE gdi32 user32)
endforeach()

# i686 benchmark, run under Wine against zlib built for i686.
file(GLOB BENCH_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/*.cpp)
if(BENCH_SOURCES)
  include(${CMAKE_SOURCE_DIR}/bench/Target.cmake OPTIONAL)
endif()
