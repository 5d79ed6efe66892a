# Checks on the built Windows programs: imports, log marker, machine, size, resources; and on
# tidewell-log for Windows.
set(TIDEWELL_WIN32_DIR "${CMAKE_SOURCE_DIR}/build/win32" CACHE PATH "The 32-bit Windows build")
set(TIDEWELL_WIN64_DIR "${CMAKE_SOURCE_DIR}/build/win64" CACHE PATH "The 64-bit Windows build")
add_executable(artifact_tests tests/artifacts/pe_image.cpp tests/artifacts/program_image_test.cpp tests/artifacts/well_formed.cpp)
target_include_directories(artifact_tests PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(artifact_tests PRIVATE
    TIDEWELL_WIN32_DIR="${TIDEWELL_WIN32_DIR}" TIDEWELL_WIN64_DIR="${TIDEWELL_WIN64_DIR}"
    TIDEWELL_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
target_link_libraries(artifact_tests PRIVATE GTest::gtest GTest::gtest_main)
gtest_discover_tests(artifact_tests DISCOVERY_TIMEOUT 60 PROPERTIES LABELS artifacts)
