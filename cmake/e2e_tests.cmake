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

# The shipped 32-bit program itself under Wine's 32-bit half (label win32; `make test-win32`).
# Its setup makes the machine able to run 32-bit programs where it can (scripts/win32-emulation.sh)
# and then the 32-bit-capable base prefix; where the machine cannot, the setup and every test
# report SKIPPED with the reason instead of passing.
set(E2E32_ENVIRONMENT ${E2E_ENVIRONMENT} TIDEWELL_WIN32_DIR=${TIDEWELL_WIN32_DIR}
    PYTHONPATH=${CMAKE_SOURCE_DIR}/tests/e2e)
set(E2E32_SKIPPED "SKIPPED: the 32-bit program cannot be run")
add_test(NAME e2e32_prefix COMMAND ${Python3_EXECUTABLE} harness.py make-base win32
         WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/e2e)
# It comes after the 64-bit base prefix, which is then made as it always was, before anything
# here installs packages or registers the emulation.
set_tests_properties(e2e32_prefix PROPERTIES FIXTURES_SETUP wine32_prefix ENVIRONMENT "${E2E32_ENVIRONMENT}"
                     LABELS win32 TIMEOUT 1800 SKIP_RETURN_CODE 77 DEPENDS e2e_prefix)

file(GLOB E2E32_MODULES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e32/test_*.py)
foreach(module ${E2E32_MODULES})
    get_filename_component(name ${module} NAME_WE)
    add_test(NAME e2e32_${name} COMMAND ${Python3_EXECUTABLE} -m unittest -v ${name}
             WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/e2e32)
    set_tests_properties(e2e32_${name} PROPERTIES FIXTURES_REQUIRED wine32_prefix ENVIRONMENT "${E2E32_ENVIRONMENT}"
                         LABELS win32 TIMEOUT 1200 SKIP_REGULAR_EXPRESSION "${E2E32_SKIPPED}")
endforeach()
