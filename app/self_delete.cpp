// Removal of the program file and its folder once the process has ended. A running program's
// file cannot be deleted, so a small batch job, started hidden, keeps trying until the process
// is gone, then removes the folder when it is empty (never a folder the guard protects) and
// deletes itself. It is started only when the file could be deleted at all.
#include "app/self_delete.h"
#include "base/run_context.h"
#include "base/text.h"
#include "removal/protected_folders.h"
#include "removal/report.h"

namespace {

enum { SCRIPT_SIZE = 1040, WINDOWS_DIR_SIZE = 520 };

// The batch's name, and the names tried in turn when a file of that name is there already:
// Delme1.bat to Delme99.bat.
const char BATCH_NAME[] = "Delme";
const char BATCH_EXTENSION[] = ".bat";
enum { BATCH_NAME_TRIES = 100 };
// The %s are, in order: the program file twice, the installation folder, the batch itself. The
// second form, for an installation folder the guard protects, removes no folder.
const char BATCH_FORMAT[] = "@echo off\r\n:Repeat\r\ndel %s\r\nif exist %s goto Repeat\r\nrmdir %s\r\ndel %s\r\n";
const char BATCH_FORMAT_KEEPING_FOLDER[] = "@echo off\r\n:Repeat\r\ndel %s\r\nif exist %s goto Repeat\r\ndel %s\r\n";
const char NT_INTERPRETER[] = "\\cmd.exe\" /D /C ";
const char INTERPRETER_95[] = "\\COMMAND.COM\" /C ";

// How a path can stand in a batch line so that the command interpreter reads it as one
// literal name and nothing else.
enum PathForm {
    PATH_PLAIN,   // as it is
    PATH_QUOTED,  // in quotes, each % doubled
    PATH_UNSAFE,  // no spelling is literal everywhere: the path is not written at all
};

// Characters with no meaning to the interpreter on an argument of del, if exist or rmdir. Bytes
// from 0x80 on belong to names in the code page and never read as a command character.
int IsPlainCharacter(unsigned char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c >= 0x80) return 1;
    for (const char* plain = "\\._-~#$@{}[]'`"; *plain; ++plain)
        if (c == static_cast<unsigned char>(*plain)) return 1;
    return 0;
}

// Unsafe: characters no file name holds (wildcards would widen a deletion, a quote would end
// the quoting), control characters, and ! which delayed expansion, a per-machine setting,
// reads differently. Quoting keeps & ^ ( ) blanks and separators literal; % is doubled, since
// it is expanded even inside quotes.
int PathFormOf(const char* path) {
    if (!path[0]) return PATH_UNSAFE;
    int form = PATH_PLAIN;
    for (unsigned int i = 0; path[i]; ++i) {
        unsigned char c = static_cast<unsigned char>(path[i]);
        if (IsPlainCharacter(c) || (c == ':' && i == 1)) continue;
        if (c < 0x20 || c == 0x7F || c == '"' || c == '*' || c == '?' || c == '/' || c == '|' || c == '<' || c == '>' ||
            c == '!' || c == ':')
            return PATH_UNSAFE;
        form = PATH_QUOTED;
    }
    return form;
}

// Bounded writing into a text of `size` bytes, terminator included; 0 when it does not fit.
int PutCharacter(char* text, unsigned int size, unsigned int* at, char c) {
    if (*at + 1 >= size) return 0;
    text[(*at)++] = c;
    text[*at] = 0;
    return 1;
}

int PutPath(char* text, unsigned int size, unsigned int* at, const char* path) {
    int quoted = PathFormOf(path) == PATH_QUOTED;
    if (quoted && !PutCharacter(text, size, at, '"')) return 0;
    for (; *path; ++path) {
        if (quoted && *path == '%' && !PutCharacter(text, size, at, '%')) return 0;
        if (!PutCharacter(text, size, at, *path)) return 0;
    }
    return !quoted || PutCharacter(text, size, at, '"');
}

// Replaces each %s of the format with the next path, in order; 0 when the text would not fit.
int FillFormat(char* text, unsigned int size, const char* format, const char* const* paths) {
    unsigned int at = 0;
    text[0] = 0;
    for (; *format; ++format) {
        if (format[0] == '%' && format[1] == 's') {
            if (!PutPath(text, size, &at, *paths++)) return 0;
            ++format;
        } else if (!PutCharacter(text, size, &at, *format)) {
            return 0;
        }
    }
    return 1;
}

// The batch path also ends the command line, where quotes would not survive every interpreter:
// it must be plain. The file is made only where no file of its name is: a file of the user's is
// never replaced (and the batch's last line would delete it).
HANDLE CreateBatchFile(const char* path) {
    if (PathFormOf(path) != PATH_PLAIN) return INVALID_HANDLE_VALUE;
    return CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Makes the batch file in the folder (a path ending with a backslash, in batchPath), under the
// first name of Delme.bat, Delme1.bat, ... that no file has. INVALID_HANDLE_VALUE when none can
// be made there.
HANDLE CreateBatchIn(char* batchPath) {
    unsigned int folderLength = TextLength(batchPath);
    for (unsigned int number = 0; number < BATCH_NAME_TRIES; ++number) {
        batchPath[folderLength] = 0;
        if (!AppendText(batchPath, PATH_SIZE, BATCH_NAME) || (number && !AppendNumber(batchPath, PATH_SIZE, number)) ||
            !AppendText(batchPath, PATH_SIZE, BATCH_EXTENSION))
            return INVALID_HANDLE_VALUE;
        HANDLE file = CreateBatchFile(batchPath);
        if (file != INVALID_HANDLE_VALUE) return file;
        DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return INVALID_HANDLE_VALUE;
    }
    return INVALID_HANDLE_VALUE;
}

// The batch file in the root folder of the installation drive (the Windows folder, the current
// one, when the folder has no drive letter); where no file can be made there, as for a user
// without administrator rights, in the user's temporary folder. Null when neither works.
HANDLE CreateBatch(char* batchPath) {
    batchPath[0] = 0;
    if (run.installDir[0] && run.installDir[1] == ':') {
        batchPath[0] = run.installDir[0];
        batchPath[1] = ':';
        batchPath[2] = 0;
    }
    AppendBackslash(batchPath);
    HANDLE file = CreateBatchIn(batchPath);
    if (file != INVALID_HANDLE_VALUE) return file;

    if (!FitsPathBuffer(GetTempPathA(PATH_SIZE, batchPath))) return nullptr;
    GetShortPathNameA(batchPath, batchPath, PATH_SIZE);
    if (!AppendBackslash(batchPath)) return nullptr;
    file = CreateBatchIn(batchPath);
    return file == INVALID_HANDLE_VALUE ? nullptr : file;
}

// Writes the whole batch text and closes the file; 0 when the text does not fit or not all of
// it was written, for a cut line could name some other file or folder.
int WriteBatch(HANDLE file, const char* batchPath, char* scriptText, int keepFolder) {
    const char* paths[] = {run.pathBuf, run.pathBuf, run.installDir, batchPath};
    const char* keepingPaths[] = {run.pathBuf, run.pathBuf, batchPath};
    int written = keepFolder ? FillFormat(scriptText, SCRIPT_SIZE, BATCH_FORMAT_KEEPING_FOLDER, keepingPaths)
                             : FillFormat(scriptText, SCRIPT_SIZE, BATCH_FORMAT, paths);
    if (written) {
        DWORD length = TextLength(scriptText);
        DWORD count = 0;
        written = WriteFile(file, scriptText, length, &count, nullptr) && count == length;
    }
    CloseHandle(file);
    return written;
}

int StartHidden(char* commandLine) {
    STARTUPINFOA startup;
    FillZero(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process;
    FillZero(&process, sizeof process);
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) return 0;
    // The job is never waited for.
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return 1;
}

// The interpreter by its full path, never by a bare name or COMSPEC, which a search of PATH or
// another account's environment could make someone else's program: the system folder's cmd.exe
// without AutoRun on NT, the Windows folder's COMMAND.COM on the 95 family. Quoted: it may hold blanks.
int StartJob(const char* batchPath, char* scriptText) {
    scriptText[0] = '"';
    UINT length = run.isNT ? GetSystemDirectoryA(scriptText + 1, WINDOWS_DIR_SIZE)
                           : GetWindowsDirectoryA(scriptText + 1, WINDOWS_DIR_SIZE);
    if (length == 0 || length >= WINDOWS_DIR_SIZE || FindLast(scriptText + 1, '"')) return 0;
    StripBackslash(scriptText + 1);
    AppendText(scriptText, SCRIPT_SIZE, run.isNT ? NT_INTERPRETER : INTERPRETER_95);
    AppendText(scriptText, SCRIPT_SIZE, batchPath);
    return StartHidden(scriptText);
}

// 1 when the program file could be deleted once this process has ended: it opens for deletion,
// so no right is missing and no other program holds it. The 95 family has neither rights nor
// that access, and a running program's file does not open there for writing: it is not asked.
int CouldDeleteProgramFile(const char* path) {
    if (!run.isNT) return 1;
    HANDLE file = CreateFileA(path, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    CloseHandle(file);
    return 1;
}

// Writes the batch and starts the job; null when it runs, otherwise why it does not.
const char* StartSelfDeletion(char* batchPath, char* scriptText) {
    GetShortPathNameA(run.installDir, run.installDir, PATH_SIZE);
    StripBackslash(run.installDir);
    // The program's path as the run read it at its start; without one, no job is started.
    if (!run.modulePath[0] || !CopyText(run.pathBuf, PATH_SIZE, run.modulePath)) return "the program's path is unknown";
    GetShortPathNameA(run.pathBuf, run.pathBuf, PATH_SIZE);

    // Neither this process nor the job may hold the installation folder as its current one.
    GetWindowsDirectoryA(scriptText, WINDOWS_DIR_SIZE);
    StripBackslash(scriptText);
    SetCurrentDirectoryA(scriptText);

    if (PathFormOf(run.pathBuf) == PATH_UNSAFE || PathFormOf(run.installDir) == PATH_UNSAFE)
        return "its path cannot stand in a batch";
    // A job that could never delete the file would try for ever: none is started.
    if (!CouldDeleteProgramFile(run.pathBuf)) return "the program file cannot be deleted";
    // The folder the batch would remove is asked about as the batch names it.
    int keepFolder = IsProtectedFolder(run.installDir);
    HANDLE file = CreateBatch(batchPath);
    if (!file) return "no batch file could be made";
    if (!WriteBatch(file, batchPath, scriptText, keepFolder)) {
        DeleteFileA(batchPath);
        return "the batch file could not be written";
    }

    // del refuses read-only, hidden and system files, and the job would then spin for ever. A
    // file whose attributes cannot be changed (a read-only medium, no right to change it) could
    // never be deleted by the job either: then no job is started.
    DWORD attributes = GetFileAttributesA(run.pathBuf);
    if (attributes == INVALID_FILE_ATTRIBUTES || !SetFileAttributesA(run.pathBuf, FILE_ATTRIBUTE_NORMAL)) {
        DeleteFileA(batchPath);
        return "its attributes cannot be changed";
    }
    if (StartJob(batchPath, scriptText)) return nullptr;
    DeleteFileA(batchPath);
    const DWORD settable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
    if (attributes & settable) SetFileAttributesA(run.pathBuf, attributes & settable);
    return "no command interpreter started";
}

}  // namespace

void ScheduleSelfDelete() {
    char batchPath[PATH_SIZE];
    char scriptText[SCRIPT_SIZE];
    scriptText[0] = 0;
    const char* why = StartSelfDeletion(batchPath, scriptText);
    if (why)
        Report(OUTCOME_NOTED, "self-deletion not scheduled, %s: %s", why, run.modulePath);
    else
        Report(OUTCOME_NOTED, "self-deletion scheduled: %s", batchPath);
}
