// What tidewell-log asks of the system it runs on. One implementation per platform: the host
// build's (system_posix.cpp) knows no Windows folders and writes no registry; the Windows
// build's (system_windows.cpp) asks the machine the package is installed on. Texts cross this
// line in UTF-8, as the manifest has them; paths the tool was given on its command line stay in
// the system's own encoding, as the file functions take them.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "tools/tidewell-log/folder_names.h"
#include "tools/tidewell-log/uninstall_entry.h"

namespace tidewell {

// The folder the machine has for a name (never the installation folder), without a trailing
// backslash unless it is a drive's root; empty when it has none or none a program of the ANSI
// code page can name.
std::string SystemFolder(FolderId id);

// The absolute Windows folder that holds the file at `path`; empty where paths are not Windows
// paths (the host build).
std::string WindowsFolderOf(const std::string& path);

// A text from the command line, in UTF-8.
std::string CommandLineText(const std::string& text);

// The size of the file at the UTF-8 path; none for a path that is missing or a folder.
std::optional<uint64_t> FileSize(const std::string& path);

// Writes the file whole or not at all: a new file beside it, renamed over it at the end.
void WriteFileAtomically(const std::string& path, const std::string& bytes);

// The code page of the tool's own ANSI calls, which a log written here is in: 65001 (UTF-8)
// where the system honours the code page element of the tool's manifest (Windows 10 version
// 1903 and later), the system's ANSI code page on older Windows; 0 on the host, a build
// machine, whose logs go out to machines of any code page.
unsigned SystemCodePage();

// The day, in local time, as the list of installed programs has it: yyyyMMdd.
std::string Today();

// Windows: takes the current folder and the tool's own folder out of the DLL search.
void MakeDllSearchSafe();

// Windows: standard output and error that are a console get the tool's messages as the text
// they are, converted from its ANSI code page (WriteConsoleW), where the console would read
// their bytes in its own code page; a file or pipe gets the bytes.
void WriteMessagesAsText();

// The list of installed programs of the machine (HKLM) or of the user (HKCU), in the tool's own
// registry view, opened so that entries can be made below it. Raises LogError where that cannot
// be done: without the rights, or on a system without that list.
std::unique_ptr<RegistryPort> OpenUninstallList(Scope scope);

}  // namespace tidewell
