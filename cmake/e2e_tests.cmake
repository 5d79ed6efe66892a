# End-to-end tests of the 64-bit program under wine64: one ctest test per Python module, all
# sharing a sandboxed base prefix that a setup test makes once per run.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(E2E_ENVIRONMENT
    TIDEWELL_HOST_DIR=${CMAKE_BINARY_DIR}
    TIDEWELL_WIN64_DIR=${TIDEWELL_WIN64_DIR}
    TIDEWELL_E2E_DIR=${CMAKE_BINARY_DIR}/e2e)

add_test(NAME e2e_prefix COMMAND ${Python3_EXECUTABLE} harness.py make-base WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/e2e)
set_tests_properties(e2e_prefix PROPERTIES FIXTURES_SETUP wine_prefix ENVIRONMENT "${E2E_ENVIRONMENT}" LABELS e2e)

file(GLOB E2E_MODULES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/test_*.py)
foreach(module ${E2E_MODULES})
    get_filename_component(name ${module} NAME_WE)
    add_test(NAME e2e_${name} COMMAND ${Python3_EXECUTABLE} -m unittest -v ${name}
             WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/e2e)
    set_tests_properties(e2e_${name} PROPERTIES FIXTURES_REQUIRED wine_prefix ENVIRONMENT "${E2E_ENVIRONMENT}"
                         LABELS e2e TIMEOUT 1200)
endforeach()
