# The Windows builds: the program (32-bit shipped, 64-bit twin) and the test automation helper.
enable_language(RC)

# The program links no C or C++ runtime: system DLLs only, and a small image.
add_executable(uninstall WIN32
    ${TIDEWELL_CORE_SOURCES}
    app/crt.cpp
    app/startup.cpp
    log/log_location.cpp
    resources/tidewell.rc)
target_include_directories(uninstall PRIVATE ${CMAKE_SOURCE_DIR})
# The resource compiler's dependencies are not scanned: the files the script takes in.
set_source_files_properties(resources/tidewell.rc PROPERTIES OBJECT_DEPENDS
    "${CMAKE_SOURCE_DIR}/resources/tidewell.ico;${CMAKE_SOURCE_DIR}/resources/uninstall.manifest;${CMAKE_SOURCE_DIR}/resources/resource.h")
# No -fdata-sections: with it, MinGW's compiler gives each zero-filled variable a .data$ section
# of its own, and its zeros take room in the file instead of in .bss.
set(PROGRAM_COMPILE_OPTIONS
    -Os -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables -fno-unwind-tables
    -fno-stack-protector -fno-threadsafe-statics -ffunction-sections
    -fno-tree-loop-distribute-patterns
    -Wall -Wextra -Werror)
set(PROGRAM_LINK_OPTIONS -nostdlib -mwindows -s -Wl,--gc-sections -Wl,--nxcompat -Wl,--dynamicbase)
# Optimised as one whole at the link (the entry and the memory routines are marked used, as
# nothing in the program's own code calls them), without a frame pointer (which the 32-bit
# compiler keeps by default) and without copying a function called once into its caller: the
# program needs no stack walking, and each of these calls is rare. Together some 3 KB smaller.
set(PROGRAM_SIZE_OPTIONS -Os -flto -fomit-frame-pointer -fno-inline-functions-called-once)
target_compile_options(uninstall PRIVATE ${PROGRAM_COMPILE_OPTIONS} ${PROGRAM_SIZE_OPTIONS})
target_link_options(uninstall PRIVATE ${PROGRAM_LINK_OPTIONS} ${PROGRAM_SIZE_OPTIONS})
target_link_libraries(uninstall PRIVATE kernel32 user32 gdi32 advapi32 shell32 ole32 gcc)
set_target_properties(uninstall PROPERTIES OUTPUT_NAME uninstall)

# tidewell-log for the installation's last step on the user's machine: the host build's tool with
# the machine as its system. Linked statically, so that it needs system DLLs only.
# nlohmann_json is header-only; its Debian package installs no CMake files the cross build's
# find root reaches, so the header is looked for where Debian puts it, and reached through a link
# of its own folder: /usr/include itself holds the host's C headers, which the cross compiler
# must not see.
find_path(NLOHMANN_JSON_INCLUDE_DIR nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH)
if(NOT NLOHMANN_JSON_INCLUDE_DIR)
    message(FATAL_ERROR "nlohmann/json.hpp not found: install nlohmann-json3-dev (scripts/ensure-deps.sh does)")
endif()
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/json-include)
file(CREATE_LINK ${NLOHMANN_JSON_INCLUDE_DIR}/nlohmann ${CMAKE_BINARY_DIR}/json-include/nlohmann SYMBOLIC)
add_executable(tidewell-log
    ${TIDEWELL_LOG_SOURCES}
    tools/tidewell-log/codepage_windows.cpp
    tools/tidewell-log/main.cpp
    tools/tidewell-log/system_windows.cpp
    resources/tidewell-log.rc)
set_source_files_properties(resources/tidewell-log.rc PROPERTIES OBJECT_DEPENDS "${CMAKE_SOURCE_DIR}/resources/tidewell-log.manifest")
target_include_directories(tidewell-log PRIVATE ${CMAKE_SOURCE_DIR})
target_include_directories(tidewell-log SYSTEM PRIVATE ${CMAKE_BINARY_DIR}/json-include)
target_compile_options(tidewell-log PRIVATE -Os -ffunction-sections -fdata-sections -Wall -Wextra -Werror)
target_link_options(tidewell-log PRIVATE -static -s -Wl,--gc-sections)
target_link_libraries(tidewell-log PRIVATE advapi32 shell32 kernel32)

# Modules export their __stdcall entries by their plain names (--kill-at), as the system looks
# them up; 32-bit names would otherwise carry an @N suffix.

# The demo package's self-registering module: it registers a COM class and unregisters it.
add_library(sample-module SHARED tests/e2e/fixtures/sample_module.cpp)
target_compile_options(sample-module PRIVATE -O2 -Wall -Wextra)
target_link_options(sample-module PRIVATE -static -Wl,--kill-at)
target_link_libraries(sample-module PRIVATE advapi32 kernel32)
set_target_properties(sample-module PROPERTIES PREFIX "" OUTPUT_NAME sample-module)

# Finds the program's boxes and dialog under Wine, reads them and presses their buttons. The
# 32-bit build (tw-auto32, tw-fontprobe32) only holds its probe's hook for the 32-bit program: a
# hook module is loaded only into programs of its own bitness.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    set(HELPER_SUFFIX "")
else()
    set(HELPER_SUFFIX 32)
endif()
add_executable(tw-auto tests/autohelper/tw_auto.cpp)
target_compile_options(tw-auto PRIVATE -O2 -Wall -Wextra)
target_link_options(tw-auto PRIVATE -static -municode)
target_link_libraries(tw-auto PRIVATE user32 gdi32 advapi32 kernel32)
set_target_properties(tw-auto PROPERTIES OUTPUT_NAME tw-auto${HELPER_SUFFIX})

# Loaded into the program under test by tw-auto's hook, to read the fonts of its boxes.
add_library(tw-fontprobe SHARED tests/autohelper/font_probe.cpp)
target_compile_options(tw-fontprobe PRIVATE -O2 -Wall -Wextra)
target_link_options(tw-fontprobe PRIVATE -static -Wl,--kill-at)
target_link_libraries(tw-fontprobe PRIVATE user32 gdi32 kernel32)
set_target_properties(tw-fontprobe PROPERTIES PREFIX "" OUTPUT_NAME tw-fontprobe${HELPER_SUFFIX})

# Modules for the end-to-end tests of the self-registration step: one with DllUnregisterServer,
# one without, and one whose DllUnregisterServer moves the user's Startup folder; each build's program
# loads those of its own bitness.
foreach(fixture selfreg noexport movestartup)
    add_library(${fixture} SHARED tests/e2e/fixtures/selfreg.cpp)
    target_compile_options(${fixture} PRIVATE -O2 -Wall -Wextra)
    target_link_options(${fixture} PRIVATE -static -Wl,--kill-at)
    target_link_libraries(${fixture} PRIVATE advapi32 kernel32)
    set_target_properties(${fixture} PROPERTIES PREFIX "" OUTPUT_NAME ${fixture})
endforeach()
target_compile_definitions(selfreg PRIVATE UNREGISTER_ENTRY)
target_compile_definitions(movestartup PRIVATE UNREGISTER_ENTRY MOVE_STARTUP)

# The benchmarks' baselines under Wine (64-bit, as the program they run beside), built as the
# program is: the least a program can do to remove a listed tree, a program that ends at once,
# the start-up floors, and the platform calls of the protected-folder guard.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
    foreach(baseline remove-listed do-nothing imports-only ole-window guard-calls)
        set(source ${baseline})
        if(baseline MATCHES "imports-only|ole-window")
            set(source startup_floor)
        endif()
        string(REPLACE "-" "_" source ${source})
        add_executable(bench-${baseline} WIN32 bench/programs/${source}.cpp)
        target_compile_options(bench-${baseline} PRIVATE ${PROGRAM_COMPILE_OPTIONS})
        target_link_options(bench-${baseline} PRIVATE ${PROGRAM_LINK_OPTIONS})
        target_link_libraries(bench-${baseline} PRIVATE kernel32 user32 gdi32 advapi32 shell32 ole32)
    endforeach()
    target_compile_definitions(bench-imports-only PRIVATE IMPORTS_ONLY)
endif()
