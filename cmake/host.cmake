# The host build: the program's sources against the Win32 stand-in, the unit tests, the tools
# and the end-to-end tests of the Windows builds.
enable_testing()
find_package(GTest REQUIRED)

option(TIDEWELL_SANITIZE "Build the host tests with AddressSanitizer and UBSan" ON)
set(SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

# The stand-in for the Win32 calls: only ever linked into host programs.
add_library(fakewin STATIC
    tests/fakewin/fake_core.cpp
    tests/fakewin/fake_files.cpp
    tests/fakewin/fake_registry.cpp
    tests/fakewin/fake_system.cpp
    tests/fakewin/fake_user.cpp)
target_include_directories(fakewin PUBLIC tests/fakewin ${CMAKE_SOURCE_DIR})

add_library(tidewell_core STATIC ${TIDEWELL_CORE_SOURCES})
target_include_directories(tidewell_core PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(tidewell_core PUBLIC fakewin)
target_compile_options(tidewell_core PRIVATE -Wall -Wextra -Werror)

if(TIDEWELL_SANITIZE)
    foreach(target fakewin tidewell_core)
        target_compile_options(${target} PUBLIC ${SANITIZER_FLAGS})
        target_link_options(${target} PUBLIC ${SANITIZER_FLAGS})
    endforeach()
endif()

# The log writer: builds logs and attaches them to a copy of the program.
add_library(logwriter STATIC tools/logwriter/log_writer.cpp)
target_include_directories(logwriter PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(logwriter PRIVATE -Wall -Wextra -Werror)

# The named test logs, built with the log writer: for the tests, the fuzzer and the benchmarks.
add_library(test_logs STATIC tests/fixture/fixtures.cpp)
target_link_libraries(test_logs PUBLIC logwriter)
target_compile_options(test_logs PRIVATE -Wall -Wextra -Werror)

# The package author's tool: the manifest, the log's reader and checks, and the commands, with
# the build machine as its system.
find_package(nlohmann_json 3 REQUIRED)
list(FILTER TIDEWELL_LOG_SOURCES EXCLUDE REGEX "log_writer.cpp$")
add_library(authoring STATIC
    ${TIDEWELL_LOG_SOURCES}
    tools/tidewell-log/codepage_iconv.cpp
    tools/tidewell-log/system_posix.cpp)
target_link_libraries(authoring PUBLIC logwriter nlohmann_json::nlohmann_json)
target_compile_options(authoring PRIVATE -Wall -Wextra -Werror)

add_executable(tidewell-log tools/tidewell-log/main.cpp)
target_link_libraries(tidewell-log PRIVATE authoring)
target_compile_options(tidewell-log PRIVATE -Wall -Wextra -Werror)

# Writes the named test logs to files.
add_executable(tw-fixture tests/fixture/tw_fixture.cpp)
target_link_libraries(tw-fixture PRIVATE test_logs)
target_compile_options(tw-fixture PRIVATE -Wall -Wextra -Werror)

file(GLOB UNIT_TEST_SOURCES CONFIGURE_DEPENDS tests/unit/*.cpp)
add_executable(unit_tests ${UNIT_TEST_SOURCES})
target_compile_definitions(unit_tests PRIVATE TIDEWELL_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
target_compile_options(unit_tests PRIVATE -Wall -Wextra)
target_link_libraries(unit_tests PRIVATE tidewell_core authoring test_logs GTest::gtest GTest::gtest_main GTest::gmock)
include(GoogleTest)
gtest_discover_tests(unit_tests DISCOVERY_TIMEOUT 60 PROPERTIES LABELS unit)

include(cmake/artifact_tests.cmake)
include(cmake/e2e_tests.cmake)

# tidewell-log run as a package author runs it: exit statuses, one-line refusals, round trips.
add_test(NAME tidewell_log_cli COMMAND ${Python3_EXECUTABLE} -m unittest -v test_tidewell_log_cli
         WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/tools)
set_tests_properties(tidewell_log_cli PROPERTIES ENVIRONMENT TIDEWELL_HOST_DIR=${CMAKE_BINARY_DIR} LABELS unit)

# The 32-bit tests' setup script against a stand-in of binfmt_misc: it registers the emulator
# only where it is needed and no handler is there, and says why where it cannot help.
add_test(NAME win32_emulation_script COMMAND ${Python3_EXECUTABLE} -m unittest -v test_win32_emulation_script
         WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/tools)
set_tests_properties(win32_emulation_script PROPERTIES LABELS unit)

# The loader's fuzz target. Its regression corpus replays in every host build through a plain
# driver; the fuzzing build itself needs clang's libFuzzer (scripts/fuzz.sh makes it).
add_executable(loader_fuzz_replay tests/fuzz/loader_fuzz.cpp tests/fuzz/replay_main.cpp)
target_link_libraries(loader_fuzz_replay PRIVATE tidewell_core)
add_test(NAME loader_fuzz_corpus COMMAND loader_fuzz_replay ${CMAKE_SOURCE_DIR}/tests/fuzz/corpus)
set_tests_properties(loader_fuzz_corpus PROPERTIES LABELS unit)

option(TIDEWELL_FUZZ "Build the libFuzzer target for the loader (clang only)" OFF)
if(TIDEWELL_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "TIDEWELL_FUZZ needs clang++ (configure with CXX=clang++)")
    endif()
    # Coverage guides the fuzzer through the program's own code only, not the stand-in's.
    target_compile_options(tidewell_core PRIVATE -fsanitize=fuzzer-no-link)
    add_executable(loader_fuzz tests/fuzz/loader_fuzz.cpp)
    target_link_libraries(loader_fuzz PRIVATE tidewell_core)
    target_link_options(loader_fuzz PRIVATE -fsanitize=fuzzer)
endif()

# The host benchmark of the log loader (make bench builds it in a build folder of its own,
# without sanitizers). The program's log sources, compiled as the Windows builds compile them,
# read a real file through the thin Win32 of bench/host/real_file_win32.cpp; no stand-in is
# linked.
option(TIDEWELL_BENCH "Build the host benchmarks" OFF)
if(TIDEWELL_BENCH)
    find_package(benchmark REQUIRED)
    add_library(bench_log_sources OBJECT
        base/memory.cpp
        base/run_context.cpp
        base/text.cpp
        log/block_reader.cpp
        log/catalogue.cpp
        log/file_reader.cpp
        log/file_records.cpp
        log/loader.cpp
        log/pattern_list.cpp
        log/registry_records.cpp)
    target_include_directories(bench_log_sources PRIVATE tests/fakewin ${CMAKE_SOURCE_DIR})
    target_compile_options(bench_log_sources PRIVATE
        -Os -fno-exceptions -fno-rtti -fno-tree-loop-distribute-patterns -ffunction-sections -fdata-sections
        -Wall -Wextra -Werror)
    add_executable(log_load_bench
        bench/host/log_load_bench.cpp
        bench/host/real_file_win32.cpp
        $<TARGET_OBJECTS:bench_log_sources>)
    target_include_directories(log_load_bench PRIVATE tests/fakewin ${CMAKE_SOURCE_DIR})
    target_compile_options(log_load_bench PRIVATE -O2 -Wall -Wextra -Werror)
    target_link_options(log_load_bench PRIVATE -Wl,--gc-sections)
    target_link_libraries(log_load_bench PRIVATE test_logs benchmark::benchmark)
endif()
