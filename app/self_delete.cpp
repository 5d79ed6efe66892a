// Removal of the program file and its folder once the process has ended. A running program's
// file cannot be deleted, so a small batch job, started hidden, tries for a while until the
// process is gone, then removes the folder when it is empty (never a folder the guard protects)
// and deletes itself. It is started only when the file could be deleted at all.
//
// On NT the batch lies in a folder made for this run in the temporary folder, which only the
// running account, the administrators and the system may change, and its text is plain ASCII:
// the paths reach it through the job's environment, which the interpreter reads in Unicode,
// never through its text, which it reads line by line in the console's code page as it runs.
// The 95 family, without rights or such an interpreter, has the paths in the text, in the
// console's code page, and its tries written out.
#include "app/self_delete.h"
#include "base/private_access.h"
#include "base/random_name.h"
#include "base/run_context.h"
#include "base/system_call.h"
#include "base/text.h"
#include "removal/protected_folders.h"
#include "removal/report.h"
#include "removal/restart_queue.h"

namespace {

// A script's text holds a piece of the 95 family's batch with its three paths, or the command
// line that starts the interpreter.
enum { WINDOWS_DIR_SIZE = 520, SCRIPT_SIZE = WINDOWS_DIR_SIZE + 3 * PATH_SIZE };

// The batch's name, and on the 95 family the names tried in turn when a file of that name is
// there already: Delme1.bat to Delme99.bat.
const char BATCH_NAME[] = "Delme";
const char BATCH_EXTENSION[] = ".bat";
enum { BATCH_NAME_TRIES = 100 };
const char NT_INTERPRETER[] = "\\cmd.exe\" /D /V:ON /C ";
const char INTERPRETER_95[] = "\\COMMAND.COM\" /C ";

// The NT batch. The paths are expanded late (!name!, the interpreter started with /V:ON), so
// that whatever they hold is never read again as a command or a variable (% expanded first
// would be, by some interpreters). It stops when a folder has taken the program file's name
// (del would empty it, or wait for an answer no one gives), and after about a minute of tries,
// pausing between them with ping of the system folder; the last line deletes the batch and its
// folder at once, so that nothing is read from it afterwards.
const char NT_BATCH_TRIES[] =
    "@echo off\r\nset Tries=0\r\n:Repeat\r\nif exist \"!TwProgram!\\*\" goto End\r\n"
    "del \"!TwProgram!\" <nul\r\nif not exist \"!TwProgram!\" goto Gone\r\n"
    "set /a Tries+=1\r\nif %Tries% geq 60 goto End\r\n"
    "\"!TwSystem!\\ping.exe\" -n 2 127.0.0.1 >nul\r\ngoto Repeat\r\n:Gone\r\n";
const char NT_BATCH_FOLDER[] = "rmdir \"!TwFolder!\"\r\n";
const char NT_BATCH_END[] = ":End\r\ndel \"%~f0\" & rmdir \"!TwJob!\"\r\n";
// The 95 family's batch, in pieces: the %s are the paths, in order. The try is written out a
// few times, each followed by a pause with the Windows folder's ping (passed over where there
// is none).
enum { TRIES_95 = 5 };
const char TRY_95[] = "del %s\r\nif not exist %s goto Gone\r\n%s -n 2 127.0.0.1 >NUL\r\n";
const char GONE_95[] = "goto End\r\n:Gone\r\n";
const char FOLDER_95[] = "rmdir %s\r\n";
const char END_95[] = ":End\r\ndel %s\r\n";
enum { JOB_FOLDER_TRIES = 8 };

// The job started: its folder (NT) and its batch, for the restart's queue.
char startedJobFolder[PATH_SIZE];
char startedBatch[PATH_SIZE];
// What the job deletes, as it names them: the program file and the installation folder, each
// in its short form, the folder without its trailing backslash.
char jobProgram[PATH_SIZE];
char jobFolderToRemove[PATH_SIZE];

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

// The temporary folder as a plain short path ending with a backslash, in the buffer; 0 when it
// cannot be had. Where the system has it, the one that gives the system account a folder of its
// own, not the shared one of the Windows folder.
int FetchTemporaryFolder(char* folder) {
    typedef DWORD(WINAPI * TempPathCall)(DWORD, LPSTR);
    TempPathCall tempPath = reinterpret_cast<TempPathCall>(SystemCall("kernel32.dll", "GetTempPath2A"));
    if (!tempPath) tempPath = GetTempPathA;
    if (!FitsPathBuffer(tempPath(PATH_SIZE, folder))) return 0;
    GetShortPathNameA(folder, folder, PATH_SIZE);
    return AppendBackslash(folder);
}

// NT: makes the job's own folder in the temporary folder, with the private rights, under a new
// random name (never a folder or link someone made first: making it fails then), and the batch
// in it. jobFolder holds the folder once it is made, for its removal when the job does not start.
HANDLE CreatePrivateBatch(char* jobFolder, char* batchPath) {
    PrivateSecurity security;
    if (!FetchTemporaryFolder(jobFolder) || TextLength(jobFolder) <= 3 || !MakePrivateSecurity(&security) ||
        !security.attributes) {
        jobFolder[0] = 0;
        return nullptr;
    }
    unsigned int length = TextLength(jobFolder);
    int made = 0;
    for (int tries = 0; !made && tries < JOB_FOLDER_TRIES; ++tries) {
        jobFolder[length] = 0;
        if (!AppendRandomName(jobFolder, tries)) break;
        made = CreateDirectoryA(jobFolder, security.attributes);
        if (!made && GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    if (!made) {
        jobFolder[0] = 0;
        return nullptr;
    }
    HANDLE file = INVALID_HANDLE_VALUE;
    if (CopyText(batchPath, PATH_SIZE, jobFolder) && AppendText(batchPath, PATH_SIZE, "\\Delme.bat"))
        file = CreateBatchFile(batchPath);
    if (file != INVALID_HANDLE_VALUE) return file;
    RemoveDirectoryA(jobFolder);
    jobFolder[0] = 0;
    return nullptr;
}

// The 95 family: the batch file in the root folder of the installation drive (the Windows
// folder, the current one, when the folder has no drive letter); where no file can be made
// there, in the temporary folder. Null when neither works.
HANDLE CreateBatch95(char* batchPath) {
    batchPath[0] = 0;
    if (run.installDir[0] && run.installDir[1] == ':') {
        batchPath[0] = run.installDir[0];
        batchPath[1] = ':';
        batchPath[2] = 0;
    }
    AppendBackslash(batchPath);
    HANDLE file = CreateBatchIn(batchPath);
    if (file != INVALID_HANDLE_VALUE) return file;
    if (!FetchTemporaryFolder(batchPath)) return nullptr;
    file = CreateBatchIn(batchPath);
    return file == INVALID_HANDLE_VALUE ? nullptr : file;
}

int WriteText(HANDLE file, const char* text) {
    DWORD length = TextLength(text);
    DWORD count = 0;
    return WriteFile(file, text, length, &count, nullptr) && count == length;
}

// Writes the format with its paths filled in; 0 when the text does not fit or not all of it
// was written, for a cut line could name some other file or folder.
int WriteFilled(HANDLE file, char* scriptText, const char* format, const char* const* paths) {
    return FillFormat(scriptText, SCRIPT_SIZE, format, paths) && WriteText(file, scriptText);
}

// The path in the console's code page, which COMMAND.COM reads the batch in; 0 when it has no
// form there that reads back as the same path.
int ToConsoleCodePage(const char* path, char* oem) {
    char back[PATH_SIZE];
    DWORD length = TextLength(path) + 1;
    if (length > PATH_SIZE) return 0;
    CharToOemBuffA(path, oem, length);
    OemToCharBuffA(oem, back, length);
    return EqualsIgnoreCase(back, path);
}

// The 95 family's text, piece by piece; the pause program's path stands where a path would.
const char* Write95Batch(HANDLE file, const char* batchPath, char* scriptText, int keepFolder) {
    static const char* const kNone[] = {nullptr};
    char program[PATH_SIZE];
    char folder[PATH_SIZE];
    char batch[PATH_SIZE];
    char pause[PATH_SIZE];
    if (!ToConsoleCodePage(jobProgram, program) || !ToConsoleCodePage(jobFolderToRemove, folder) ||
        !ToConsoleCodePage(batchPath, batch))
        return "its path has no OEM form";
    UINT length = GetWindowsDirectoryA(scriptText, WINDOWS_DIR_SIZE);
    if (length == 0 || length >= WINDOWS_DIR_SIZE || !AppendBackslash(scriptText) ||
        !AppendText(scriptText, WINDOWS_DIR_SIZE, "PING.EXE") || !ToConsoleCodePage(scriptText, pause) ||
        PathFormOf(pause) == PATH_UNSAFE)
        return "the Windows folder cannot stand in a batch";
    const char* const tryPaths[] = {program, program, pause};
    const char* const folderPaths[] = {folder};
    const char* const batchPaths[] = {batch};
    int written = WriteText(file, "@echo off\r\n");
    for (int i = 0; written && i < TRIES_95; ++i) written = WriteFilled(file, scriptText, TRY_95, tryPaths);
    written = written && WriteFilled(file, scriptText, GONE_95, kNone) &&
              (keepFolder || WriteFilled(file, scriptText, FOLDER_95, folderPaths)) &&
              WriteFilled(file, scriptText, END_95, batchPaths);
    return written ? nullptr : "the batch file could not be written";
}

// NT: the fixed text, and the paths in the environment the job inherits.
const char* WriteNtBatch(HANDLE file, const char* jobFolder, char* scriptText, int keepFolder) {
    if (!WriteText(file, NT_BATCH_TRIES) || (!keepFolder && !WriteText(file, NT_BATCH_FOLDER)) ||
        !WriteText(file, NT_BATCH_END))
        return "the batch file could not be written";
    UINT length = GetSystemDirectoryA(scriptText, WINDOWS_DIR_SIZE);
    if (length == 0 || length >= WINDOWS_DIR_SIZE) return "no command interpreter started";  // it is the system folder's
    StripBackslash(scriptText);
    if (!SetEnvironmentVariableA("TwProgram", jobProgram) ||
        !SetEnvironmentVariableA("TwFolder", jobFolderToRemove) ||
        !SetEnvironmentVariableA("TwSystem", scriptText) || !SetEnvironmentVariableA("TwJob", jobFolder))
        return "the job's environment could not be set";
    return nullptr;
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
    return AppendText(scriptText, SCRIPT_SIZE, run.isNT ? NT_INTERPRETER : INTERPRETER_95) &&
           AppendText(scriptText, SCRIPT_SIZE, batchPath) && StartHidden(scriptText);
}

// Deletes the batch and, on NT, its folder, when no job will.
void DeleteBatch(const char* jobFolder, const char* batchPath) {
    DeleteFileA(batchPath);
    if (jobFolder[0]) RemoveDirectoryA(jobFolder);
}

// Writes the batch and starts the job; null when it runs, otherwise why it does not.
const char* StartSelfDeletion(char* jobFolder, char* batchPath, char* scriptText) {
    jobFolder[0] = 0;
    CopyText(jobFolderToRemove, PATH_SIZE, run.installDir);
    GetShortPathNameA(jobFolderToRemove, jobFolderToRemove, PATH_SIZE);
    StripBackslash(jobFolderToRemove);
    // The program's path as the run read it at its start; without one, no job is started.
    if (!run.modulePath[0] || !CopyText(jobProgram, PATH_SIZE, run.modulePath)) return "the program's path is unknown";
    GetShortPathNameA(jobProgram, jobProgram, PATH_SIZE);

    // Neither this process nor the job may hold the installation folder as its current one.
    GetWindowsDirectoryA(scriptText, WINDOWS_DIR_SIZE);
    StripBackslash(scriptText);
    SetCurrentDirectoryA(scriptText);

    if (PathFormOf(jobProgram) == PATH_UNSAFE || PathFormOf(jobFolderToRemove) == PATH_UNSAFE)
        return "its path cannot stand in a batch";
    // A job that could never delete the file would try for ever: none is started. A file another
    // program holds goes at the next restart instead, and its folder after it. The 95 family has
    // neither rights nor that access, and a running program's file does not open there for
    // writing: it is not asked.
    DWORD refusal = run.isNT ? DeletionOpenRefusal(jobProgram) : 0;
    if (IsHeldError(refusal)) {
        QueueFileForRestart(run.modulePath, refusal, "", 0);
        return "the program file is in use";
    }
    if (refusal) return "the program file cannot be deleted";
    // The folder the batch would remove is asked about as the batch names it.
    int keepFolder = IsProtectedFolder(jobFolderToRemove);
    HANDLE file = run.isNT ? CreatePrivateBatch(jobFolder, batchPath) : CreateBatch95(batchPath);
    if (!file) return "no batch file could be made";
    const char* why = run.isNT ? WriteNtBatch(file, jobFolder, scriptText, keepFolder)
                               : Write95Batch(file, batchPath, scriptText, keepFolder);
    CloseHandle(file);
    if (why) {
        DeleteBatch(jobFolder, batchPath);
        return why;
    }

    // del refuses read-only, hidden and system files, and the job would then try in vain. A
    // file whose attributes cannot be changed (a read-only medium, no right to change it) could
    // never be deleted by the job either: then no job is started.
    DWORD attributes = GetFileAttributesA(jobProgram);
    if (attributes == INVALID_FILE_ATTRIBUTES || !SetFileAttributesA(jobProgram, FILE_ATTRIBUTE_NORMAL)) {
        DeleteBatch(jobFolder, batchPath);
        return "its attributes cannot be changed";
    }
    if (StartJob(batchPath, scriptText)) return nullptr;
    DeleteBatch(jobFolder, batchPath);
    const DWORD settable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
    if (attributes & settable) SetFileAttributesA(jobProgram, attributes & settable);
    return "no command interpreter started";
}

}  // namespace

int ScheduleSelfDelete() {
    char scriptText[SCRIPT_SIZE];
    scriptText[0] = 0;
    const char* why = StartSelfDeletion(startedJobFolder, startedBatch, scriptText);
    if (why) {
        startedJobFolder[0] = startedBatch[0] = 0;
        Report(OUTCOME_NOTED, "self-deletion not scheduled, %s: %s", why, run.modulePath);
        return 0;
    }
    Report(OUTCOME_NOTED, "self-deletion scheduled: %s", startedBatch);
    return 1;
}

void QueueSelfDeletionForRestart() {
    QueueFileForRestart(run.modulePath, ERROR_ACCESS_DENIED, ", the program itself", 0);
    if (startedBatch[0]) QueueFileForRestart(startedBatch, ERROR_SHARING_VIOLATION, ", the self-deletion's batch", 0);
    if (startedJobFolder[0]) QueueFolderForRestart(startedJobFolder);
}
