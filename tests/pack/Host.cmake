# The packager's tests: Python's unittest against the quillon-pack just built.
# With the Windows build on, the checks with the real stub run too once it is
# built; QUILLON_STUB in the environment names another one.
if(TARGET quillon-pack)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  add_test(NAME pack COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/pack/test_pack.py
                             $<TARGET_FILE:quillon-pack>)
  add_test(NAME pack_files COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/pack/test_pack_files.py
                                   $<TARGET_FILE:quillon-pack>)
  add_test(NAME pack_cli COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/pack/test_pack_cli.py
                                 $<TARGET_FILE:quillon-pack>)
  add_test(NAME pack_builder COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/pack/test_package_builder.py
                                     $<TARGET_FILE:quillon-pack>)
  # The worked example of docs/package-format.md, and the figures of the README.
  add_test(NAME pack_format_doc COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/pack/test_package_format.py
                                        $<TARGET_FILE:quillon-pack>)
  add_test(NAME readme_figures COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/pack/test_readme.py)
  add_test(NAME pack_json COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/pack/test_pack_json.py
                                  $<TARGET_FILE:quillon-pack>)
  # The manual page and the bash completion written from the table of options.
  add_test(NAME pack_manual COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/pack/test_manual.py
                                    $<TARGET_FILE:quillon-pack-manual> ${QUILLON_MANUAL_PAGE}.gz ${QUILLON_COMPLETION}
                                    $<TARGET_FILE:quillon-pack> ${PROJECT_VERSION})
  set_tests_properties(pack pack_files pack_cli pack_builder pack_format_doc readme_figures pack_manual pack_json
                       PROPERTIES LABELS pack TIMEOUT 600)
  if(QUILLON_TARGET AND NOT DEFINED ENV{QUILLON_STUB})
    set_tests_properties(pack readme_figures PROPERTIES ENVIRONMENT QUILLON_STUB=${CMAKE_BINARY_DIR}/target/setup-stub.exe)
  endif()
endif()

# The include checker of the lint step, on small trees of its own.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_test(NAME include_rule COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/pack/test_include_rule.py)
set_tests_properties(include_rule PROPERTIES LABELS pack)

# The Debian package and the zip for Windows, as cpack makes them from this
# build (cmake/Install.cmake), and the installed CMake package; both need the
# stub.
if(TARGET quillon-pack AND QUILLON_TARGET)
  set(package_test_arguments ${CMAKE_BINARY_DIR} ${PROJECT_VERSION})
  if(QUILLON_LIBDEFLATE_SOURCE)
    list(APPEND package_test_arguments --windows)
  endif()
  add_test(NAME packages COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/pack/test_packages.py
                                 ${package_test_arguments})
  # find_package(Quillon) against an install of this build, and examples/cmake.
  add_test(NAME cmake_package COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/pack/test_cmake_package.py
                                      ${CMAKE_BINARY_DIR})
  set_tests_properties(packages cmake_package PROPERTIES LABELS pack TIMEOUT 600)
endif()

# The stub builds bit for bit the same in another folder (a second build of
# the stub alone, a few seconds).
if(QUILLON_TARGET)
  add_test(NAME stub_reproducible COMMAND bash ${CMAKE_SOURCE_DIR}/tests/pack/stub_reproducible.sh
                                          ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/target/setup-stub.exe
                                          ${CMAKE_BINARY_DIR}/stub-reproducible)
  set_tests_properties(stub_reproducible PROPERTIES LABELS pack TIMEOUT 600)
endif()
