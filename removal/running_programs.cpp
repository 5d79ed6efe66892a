// The package's running programs, closed before the removal.
#include "removal/running_programs.h"
#include "base/platform.h"
// after the platform header, whose types it uses
#include <tlhelp32.h>
#include "base/memory.h"
#include "base/run_context.h"
#include "base/system_call.h"
#include "base/text.h"
#include "log/log_format.h"
#include "removal/consent.h"
#include "removal/protected_folders.h"
#include "removal/record_paths.h"
#include "removal/report.h"

namespace {

enum {
    // More programs than one wait can watch are left running; their files go to the restart.
    PROGRAMS_MAX = MAXIMUM_WAIT_OBJECTS,
    CLOSE_WAIT = 10000,  // milliseconds, for all of them together
    QUERY_LIMITED = 0x1000,  // PROCESS_QUERY_LIMITED_INFORMATION, Windows Vista on
};

struct Program {
    HANDLE process;
    DWORD id;
    int otherSession;
    char path[PATH_SIZE];
};

Program* programs;
unsigned int programCount;

typedef HANDLE(WINAPI* SnapshotCall)(DWORD, DWORD);
typedef BOOL(WINAPI* ProcessWalkCall)(HANDLE, PROCESSENTRY32*);
typedef BOOL(WINAPI* ImageNameCall)(HANDLE, DWORD, LPSTR, DWORD*);
typedef BOOL(WINAPI* SessionCall)(DWORD, DWORD*);

const char* NameOf(const char* path) {
    const char* name = path;
    for (const char* c = path; *c; c = NextCharacter(c))
        if (*c == '\\' || *c == '/') name = c + 1;
    return name;
}

// 1 when the path begins with the folder, which ends with a backslash.
int LiesIn(const char* path, const char* folder) {
    unsigned int length = TextLength(folder);
    return SameStart(path, folder, length) == length && length > 3;
}

// The path's short form, or the path itself where it has none.
void ShortFormOf(const char* path, char* shortPath) {
    if (!FitsPathBuffer(GetShortPathNameA(path, shortPath, PATH_SIZE))) CopyText(shortPath, PATH_SIZE, path);
}

// 1 when the program file is an installed file that is not shared (a shared file may stay, for
// other packages), or lies in the installation folder's tree (given in its short form, or empty
// when the guard protects it) and is no shared file. Names are compared first, so that only a
// file of the program's name is resolved.
int IsPackageProgram(const char* image, const char* treeShort) {
    char imageShort[PATH_SIZE];
    char pathShort[PATH_SIZE];
    ShortFormOf(image, imageShort);
    for (unsigned int i = 0; i < run.fileCount; ++i) {
        const FileRecord* record = run.files[i];
        const char* name = NameOf(record->name);
        if (!name[0] || (!EqualsIgnoreCase(name, NameOf(image)) && !EqualsIgnoreCase(name, NameOf(imageShort)))) continue;
        const RecordPath* resolved = FileRecordPath(i);
        if (resolved->state != PATH_RESOLVED) continue;
        ShortFormOf(resolved->path, pathShort);
        if (!EqualsIgnoreCase(pathShort, imageShort)) continue;
        return !(record->flags & FILE_SHARED);
    }
    return treeShort[0] && LiesIn(imageShort, treeShort);
}

// The process's program file, read on its own handle with QueryFullProcessImageNameA (Windows
// Vista on, also for a process of the other bitness); on the 95 family, whose listing gives the
// full path, from the listing. NT before Vista has no way without another module: there the
// package's programs are not found, and their files wait for the restart.
int ReadImagePath(HANDLE process, const char* listed, char* path) {
    ImageNameCall imageName = reinterpret_cast<ImageNameCall>(SystemCall("kernel32.dll", "QueryFullProcessImageNameA"));
    DWORD size = PATH_SIZE;
    if (imageName) return imageName(process, 0, path, &size) && size < PATH_SIZE;
    return !run.isNT && CopyText(path, PATH_SIZE, listed);
}

void ListPackagePrograms() {
    SnapshotCall snapshot = reinterpret_cast<SnapshotCall>(SystemCall("kernel32.dll", "CreateToolhelp32Snapshot"));
    ProcessWalkCall first = reinterpret_cast<ProcessWalkCall>(SystemCall("kernel32.dll", "Process32First"));
    ProcessWalkCall next = reinterpret_cast<ProcessWalkCall>(SystemCall("kernel32.dll", "Process32Next"));
    SessionCall sessionOf = reinterpret_cast<SessionCall>(SystemCall("kernel32.dll", "ProcessIdToSessionId"));
    if (!snapshot || !first || !next) return;
    char tree[PATH_SIZE];
    char treeShort[PATH_SIZE];
    treeShort[0] = 0;
    CopyText(tree, PATH_SIZE, run.installDir);
    StripBackslash(tree);
    if (!IsProtectedFolder(tree)) ShortFormOf(run.installDir, treeShort);
    HANDLE list = snapshot(TH32CS_SNAPPROCESS, 0);
    if (list == INVALID_HANDLE_VALUE) return;
    if (!AllocZeroed(PROGRAMS_MAX * sizeof(Program), &programs)) {
        CloseHandle(list);
        return;
    }
    DWORD self = GetCurrentProcessId();
    DWORD ownSession = 0;
    if (sessionOf) sessionOf(self, &ownSession);
    PROCESSENTRY32 entry;
    FillZero(&entry, sizeof entry);
    entry.dwSize = sizeof entry;
    for (BOOL more = first(list, &entry); more && programCount < PROGRAMS_MAX; more = next(list, &entry)) {
        DWORD id = entry.th32ProcessID;
        if (id == self || id == 0) continue;
        Program* program = &programs[programCount];
        HANDLE process = OpenProcess(SYNCHRONIZE | QUERY_LIMITED, FALSE, id);
        if (!process) process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id);
        if (!process) continue;
        if (!ReadImagePath(process, entry.szExeFile, program->path) ||
            !IsPackageProgram(program->path, treeShort)) {
            CloseHandle(process);
            continue;
        }
        DWORD session = 0;
        program->process = process;
        program->id = id;
        program->otherSession = sessionOf && sessionOf(id, &session) && session != ownSession;
        ++programCount;
    }
    CloseHandle(list);
}

// Each program file's name once, one per line, into a MESSAGE_SIZE buffer (cut to fit).
void ListNames(char* names) {
    names[0] = 0;
    for (unsigned int i = 0; i < programCount; ++i) {
        const char* name = NameOf(programs[i].path);
        unsigned int earlier = 0;
        while (earlier < i && !EqualsIgnoreCase(NameOf(programs[earlier].path), name)) ++earlier;
        if (earlier < i) continue;
        if (names[0]) AppendText(names, MESSAGE_SIZE, "\n");
        AppendText(names, MESSAGE_SIZE, name);
    }
}

// Posted, never sent: a program that does not answer cannot hold the run.
BOOL CALLBACK PostClose(HWND window, LPARAM) {
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    for (unsigned int i = 0; i < programCount; ++i)
        if (programs[i].id == id && !programs[i].otherSession) PostMessageA(window, WM_CLOSE, 0, 0);
    return TRUE;
}

void ClosePrograms() {
    HANDLE waited[PROGRAMS_MAX];
    DWORD count = 0;
    EnumWindows(PostClose, 0);
    for (unsigned int i = 0; i < programCount; ++i)
        if (!programs[i].otherSession) waited[count++] = programs[i].process;
    if (count) WaitForMultipleObjects(count, waited, TRUE, CLOSE_WAIT);
}

}  // namespace

void CloseRunningPrograms() {
    ListPackagePrograms();
    const char* refusal = "";
    int agreed = 0;
    if (programCount) {
        char names[MESSAGE_SIZE];
        ListNames(names);
        agreed = AgreesToClosePrograms(names, &refusal);
    }
    if (agreed) ClosePrograms();
    for (unsigned int i = 0; i < programCount; ++i) {
        const Program* program = &programs[i];
        const char* why = refusal;
        if (program->otherSession)
            why = "in another session";
        else if (agreed && WaitForSingleObject(program->process, 0) == WAIT_OBJECT_0)
            why = nullptr;
        else if (agreed)
            why = "not closed within 10 s";
        if (why)
            Report(OUTCOME_NOTED, "program still running, %s: %s", why, program->path);
        else
            Report(OUTCOME_NOTED, "program closed: %s", program->path);
        CloseHandle(program->process);
    }
    FreeAndNull(&programs);
    programCount = 0;
}
