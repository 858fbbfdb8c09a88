# The packager's tests: Python's unittest against the quillon-pack just built.
# With the Windows build on, the checks with the real stub run too once it is
# built; QUILLON_STUB in the environment names another one.
if(TARGET quillon-pack)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  add_test(NAME pack COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/pack/test_pack.py
                             $<TARGET_FILE:quillon-pack>)
  add_test(NAME pack_builder COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/pack/test_package_builder.py
                                     $<TARGET_FILE:quillon-pack>)
  set_tests_properties(pack pack_builder PROPERTIES LABELS pack TIMEOUT 600)
  if(QUILLON_TARGET AND NOT DEFINED ENV{QUILLON_STUB})
    set_tests_properties(pack PROPERTIES ENVIRONMENT QUILLON_STUB=${CMAKE_BINARY_DIR}/target/setup-stub.exe)
  endif()
endif()
