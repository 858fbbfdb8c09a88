# End-to-end tests: the Windows programs of the target build run under Wine on
# private X servers. One fixture puts the Wine prefix in place (made once and
# kept) and starts several slots, each a copy of the prefix with its own X
# server and wineserver; another stops them. Each test process takes a free
# slot, so that as many run side by side as there are slots (ctest -j N with
# QUILLON_E2E_SLOTS=N). No time limit of their own: the caller's --timeout
# fits the machine (a virtual one is far slower).
find_program(E2E_WINE wine)
find_program(E2E_XVFB Xvfb)
find_package(Python3 COMPONENTS Interpreter)
if(NOT E2E_WINE OR NOT E2E_XVFB OR NOT Python3_FOUND)
  message(WARNING "End-to-end tests left out: wine, Xvfb or python3 is missing (scripts/setup.sh installs them)")
  return()
endif()

set(E2E_DIR ${CMAKE_SOURCE_DIR}/tests/e2e)
set(E2E_ENV
  QUILLON_BUILD_DIR=${CMAKE_BINARY_DIR}
  QUILLON_TARGET_DIR=${QUILLON_TARGET_DIR}
  PYTHONPATH=${E2E_DIR}
  PYTHONDONTWRITEBYTECODE=1)
if(TARGET quillon-pack)
  list(APPEND E2E_ENV QUILLON_PACK=$<TARGET_FILE:quillon-pack>)
endif()
if(QUILLON_WINDOWS_PACK_DIR)
  list(APPEND E2E_ENV QUILLON_WINDOWS_PACK=${QUILLON_WINDOWS_PACK_DIR}/quillon-pack.exe)
endif()

add_test(NAME e2e_setup
  COMMAND ${Python3_EXECUTABLE} ${E2E_DIR}/harness.py setup --build ${CMAKE_BINARY_DIR}
          --target-dir ${QUILLON_TARGET_DIR})
add_test(NAME e2e_cleanup
  COMMAND ${Python3_EXECUTABLE} ${E2E_DIR}/harness.py cleanup --build ${CMAKE_BINARY_DIR}
          --target-dir ${QUILLON_TARGET_DIR})
set_tests_properties(e2e_setup PROPERTIES FIXTURES_SETUP e2e_wine LABELS e2e ENVIRONMENT "${E2E_ENV}")
set_tests_properties(e2e_cleanup PROPERTIES FIXTURES_CLEANUP e2e_wine LABELS e2e ENVIRONMENT "${E2E_ENV}")

# The longest files start first, so that the slots end together (ctest takes
# the times of the last run instead, once there is one).
set(E2E_COST_bad_packages 450)
set(E2E_COST_driver 350)
set(E2E_COST_launcher 150)
set(E2E_COST_start_up_checks 120)
set(E2E_COST_deflated 90)
set(E2E_COST_main_window 90)

file(GLOB E2E_TESTS CONFIGURE_DEPENDS ${E2E_DIR}/test_*.py)
foreach(test ${E2E_TESTS})
  get_filename_component(name ${test} NAME_WE)
  string(REGEX REPLACE "^test_" "" short ${name})
  add_test(NAME e2e_${short}
    COMMAND ${Python3_EXECUTABLE} ${E2E_DIR}/harness.py test ${name} --build ${CMAKE_BINARY_DIR}
            --target-dir ${QUILLON_TARGET_DIR}
    WORKING_DIRECTORY ${E2E_DIR})
  set(cost 30)
  if(DEFINED E2E_COST_${short})
    set(cost ${E2E_COST_${short}})
  endif()
  set_tests_properties(e2e_${short} PROPERTIES
    FIXTURES_REQUIRED e2e_wine LABELS e2e SKIP_RETURN_CODE 77 COST ${cost}
    ENVIRONMENT "${E2E_ENV}")
endforeach()
