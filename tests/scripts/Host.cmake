# Tests of the project's own scripts: the check that the end-to-end step ran
# what it was asked to, the virtual machine's view of the caller's folders,
# and the end-to-end harness's conversion of screenshots.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_test(NAME e2e_ran_check COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/scripts/test_e2e_ran.py)
add_test(NAME vm_folders COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/scripts/test_vm.py)
add_test(NAME e2e_shots COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/scripts/test_shots.py)
set_tests_properties(e2e_ran_check vm_folders e2e_shots PROPERTIES LABELS scripts TIMEOUT 900)
set_tests_properties(vm_folders PROPERTIES SKIP_RETURN_CODE 77)
