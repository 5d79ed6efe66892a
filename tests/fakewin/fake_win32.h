// Control of the host stand-in for Win32: what the program's world holds (files, folders,
// registry, shell folders, modules), what the user answers, which calls fail, and the journal
// of every call the program made.
#pragma once
#include <windows.h>
#include <shlobj.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace fake {

// Empties the world and puts the defaults back: drive C: with C:\WINDOWS and
// C:\WINDOWS\SYSTEM32, current directory C:\, the NT family, no log offset, and the shell
// folders the guard asks for below C:\Documents and Settings (which does not exist), that folder
// as the profiles folder (ProfileList's ProfilesDirectory), and the key
// HKLM\Software\Microsoft\Windows\CurrentVersion without values.
void Reset();

// ---- Calls: the journal, counting and injected failures --------------------------------

struct Call {
    std::string api;
    std::string subject;  // the path, key, text or name the call was about
    bool ok;
    DWORD error;          // the error code of a failed call
    std::string Line() const;  // "DeleteFileA C:\x.txt -> ok" or "... -> error 5"
};
const std::vector<Call>& Journal();
// The journal's lines for the named calls only, in order.
std::vector<std::string> Calls(const std::vector<std::string>& apis);
// Deletions and writes to the disk and the registry, in order.
std::vector<std::string> DestructiveCalls();
void ClearJournal();

// Makes the nth call of the API from now on (1: the next one) fail, `times` times in a row
// (kFailForever: every call from then on), with the given error code.
constexpr int kFailForever = -1;
void FailCall(const std::string& api, int nth = 1, int times = 1, DWORD error = ERROR_ACCESS_DENIED);
int CallCount(const std::string& api);

// ---- Memory --------------------------------------------------------------------------------
size_t LiveBlocks();
size_t CompactCount();

// ---- Files and folders ---------------------------------------------------------------------
void AddFolder(const std::string& path);  // with every missing parent
void AddFile(const std::string& path, const std::string& content = "", DWORD attributes = FILE_ATTRIBUTE_ARCHIVE);
bool Exists(const std::string& path);
bool IsFolder(const std::string& path);
DWORD Attributes(const std::string& path);  // INVALID_FILE_ATTRIBUTES when missing
void SetAttributes(const std::string& path, DWORD attributes);
std::string Content(const std::string& path);
// Every path below the folder (not the folder itself), in the platform's full form.
std::vector<std::string> Tree(const std::string& folder);
// Another process holds the file open (deletion refused with a sharing violation) or has the
// folder as its current directory (removal refused likewise).
void HoldOpen(const std::string& path, bool held = true);
// Deleting or removing this path fails with the code, once or for ever.
void FailDeletion(const std::string& path, DWORD error, bool forever = true);
// The reparse tag a listing gives for an entry with the reparse-point attribute (0, the default:
// no tag can be had).
void SetReparseTag(const std::string& path, DWORD tag);
// A file symbolic link to the target: an entry with the reparse-point attribute and the symbolic
// link's tag; opening it reaches the target unless the open asks for the reparse point itself.
void AddFileLink(const std::string& path, const std::string& target);
// The number of names the file has (1, the default; more for a file with hard links).
void SetHardLinks(const std::string& path, DWORD count);
// The access list a file was created with, read back from the descriptor CreateFileA was given:
// one line per entry, "SID MASK FLAGS" (hexadecimal), in order; none when it was given none.
struct AccessList {
    bool isProtected;  // takes nothing from its folder
    std::vector<std::string> entries;
};
std::optional<AccessList> CreatedAccessList(const std::string& path);
// An entry of the folder under a name the platform would rewrite in a path (a trailing dot or
// blank): it is listed as it is, but every path that names it reaches the entry of the rewritten
// name instead.
void AddListedOnly(const std::string& folder, const std::string& name, bool isFolder);
// A folder that cannot be made the current directory.
void DenyEntry(const std::string& path, DWORD error = ERROR_ACCESS_DENIED);
// A folder in which no new file can be made (a drive's root folder for a user without
// administrator rights): creating one there fails with the code.
void DenyFileCreation(const std::string& folder, DWORD error = ERROR_ACCESS_DENIED);
std::string CurrentDirectory();
void SetCurrentDirectory(const std::string& path);
void SetWindowsDirectory(const std::string& path);
void SetSystemDirectory(const std::string& path);
void SetTempPath(const std::string& path);
void SetShortName(const std::string& longPath, const std::string& shortPath);
// The running program's file: GetModuleFileNameA reports it, and it cannot be deleted.
void SetModulePath(const std::string& path);
// Another running program's file: it opens for deletion, but deleting it is refused
// (ERROR_ACCESS_DENIED); it can be moved.
void SetRunning(const std::string& path);
// The paths MoveFileExA queued for deletion at the next restart, in order.
const std::vector<std::string>& RestartQueue();
size_t OpenHandles();

// ---- The log inside the program file -------------------------------------------------------
void SetLogOffset(uint32_t offset);

// ---- Registry ------------------------------------------------------------------------------
void RegAddKey(HKEY root, const std::string& path);
void RegSetValue(HKEY root, const std::string& path, const std::string& name, DWORD type, const std::string& data);
void RegSetDword(HKEY root, const std::string& path, const std::string& name, DWORD value);
void RegSetString(HKEY root, const std::string& path, const std::string& name, const std::string& text);
bool RegKeyExists(HKEY root, const std::string& path);
struct RegValue {
    DWORD type;
    std::string data;
};
std::optional<RegValue> RegGetValue(HKEY root, const std::string& path, const std::string& name);
std::optional<DWORD> RegGetDword(HKEY root, const std::string& path, const std::string& name);
// Every key below root\path, each as its full path below the root, in depth-first order.
std::vector<std::string> RegTree(HKEY root, const std::string& path);
// The 95 family removes a key with its subkeys in one RegDeleteKeyA; the NT family refuses a
// key that has subkeys.
void SetRegistryDeletesTrees(bool deletesTrees);
// Makes the key (made if missing, and emptied) a registry link to the target path, as the NT
// family has them: the key holds only its REG_LINK value "SymbolicLinkValue", and every open
// through it reaches the target, looked up afresh each time, except an open of the link itself
// with REG_OPTION_OPEN_LINK. RegDeleteKeyA, which opens its key so, deletes the target; only
// ntdll's NtDeleteKey on a handle of the link itself deletes the link.
void MakeRegistryLink(HKEY root, const std::string& path, HKEY targetRoot, const std::string& targetPath);
// Operations on this key fail with the code: "open", "delete" or "enum".
// A 32-bit program on 64-bit Windows: IsWow64Process says so, and HKLM\Software opened without
// KEY_WOW64_64KEY (0x100) is HKLM\Software\WOW6432Node.
void SetWow64(bool running);
void RegFail(HKEY root, const std::string& path, const std::string& operation, DWORD error);
// The user may not open the key with any of these rights (KEY_SET_VALUE, ...): opening it
// with one of them is refused with ERROR_ACCESS_DENIED, as for a user without write access.
// A handle is granted the rights it was opened with; value queries need KEY_QUERY_VALUE,
// value writes and deletions KEY_SET_VALUE, enumeration KEY_ENUMERATE_SUB_KEYS.
void RegDenyAccess(HKEY root, const std::string& path, REGSAM rights);
size_t OpenKeys();
// The RegNotifyChangeKeyValue watches still waiting for a change.
size_t PendingNotifications();

// ---- Shell folders -------------------------------------------------------------------------
// A folder that the shell resolves to the path; an empty path makes the lookup fail.
void SetSpecialFolder(int csidl, const std::string& path);
// The system's folder lookups so far: the shell's (SHGetSpecialFolderLocation, SHGetFolderPathA)
// and the registry's value reads (RegQueryValueExA).
int FolderLookups();
size_t OutstandingIdLists();

// ---- System --------------------------------------------------------------------------------
// The running account's SID, as the process token gives it ("S-1-5-21-7-8-9-1001" by default).
void SetAccountSid(const std::string& sid);
void SetPlatformId(DWORD platformId);
// The ANSI code page GetACP reports (1252 after Reset); 932, 936, 949 and 950 are double-byte
// ones, whose lead bytes IsDBCSLeadByte knows.
void SetCodePage(UINT codePage);
void SetEnvironment(const std::string& name, const std::string& value);
std::string Environment(const std::string& name);  // empty when not set
// The folder GetTempPath2A gives (found with GetProcAddress on NT only); empty: it is missing.
void SetTempPath2(const std::string& path);
int OleInitCount();
int OleUninitCount();

// A module that LoadLibraryA can load from the path; with an unregistration entry point when
// onUnregister is set.
void AddModule(const std::string& path, std::function<void()> onUnregister = nullptr);
int LoadedModules();
// The flags of the last LoadLibraryExA call. Kernel32's newer entry points for the DLL search
// exist on NT only, as on a patched NT machine; the 95 family has none.
DWORD LastLoadFlags();

struct StartedProcess {
    std::string application;
    std::string commandLine;
    BOOL inheritHandles;
    DWORD creationFlags;
    bool hasEnvironment;
    std::string currentDirectory;  // empty: inherited
    STARTUPINFOA startup;
    std::string workingDirectoryAtStart;  // the caller's current directory
};
const std::vector<StartedProcess>& StartedProcesses();
// Decides whether a command line starts; by default every one does.
void SetProcessStarter(std::function<bool(const std::string& commandLine)> starter);

// ---- Windows, boxes and the dialog ---------------------------------------------------------
struct ShownBox {
    HWND owner;
    std::string text;
    std::string caption;
    UINT flags;
    int answer;
    bool scripted;
};
// The answers the user gives to message boxes, in order. An unscripted box answers 0 (a box
// that could not be shown).
void AnswerBoxes(const std::vector<int>& answers);
const std::vector<ShownBox>& Boxes();

struct ShownDialog {
    int templateId;
    HWND owner;
    std::string caption;
    std::map<int, std::string> texts;       // by control id
    std::map<int, HFONT> fonts;             // the font each control was given, by id
    INT_PTR result;
    bool scripted;
};
// One action of the user at a dialog: press a control (by id), or run a function on it.
struct DialogAction {
    int command;
    std::function<void(HWND dialog)> before;
};
void AnswerDialogs(const std::vector<int>& commands);
void ScriptDialogs(const std::vector<DialogAction>& actions);
const std::vector<ShownDialog>& Dialogs();
// The controls of the dialog template 109, in their order: id, class, style.
struct TemplateControl {
    int id;
    std::string className;
    DWORD style;
};
const std::vector<TemplateControl>& AskTemplateControls();
// The font the platform gives a dialog of template 109.
HFONT TemplateFont();

struct CreatedWindow {
    HWND window;
    std::string className;
    std::string title;
    DWORD exStyle;
    DWORD style;
    int x, y, width, height;
    HWND parent;
    HINSTANCE instance;
    bool destroyed;
};
const std::vector<CreatedWindow>& Windows();
const std::vector<WNDCLASSA>& Classes();
std::string ClassName(const WNDCLASSA& windowClass);
// A message waiting in the queue before the program pumps it.
void PostToQueue(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
std::vector<UINT> DispatchedMessages();
// GetMessageA was called with an empty queue: the real program would wait for ever.
bool WaitedOnEmptyQueue();
HICON LoadedIcon();
int LoadedIconId();

// ---- Drawing objects -----------------------------------------------------------------------
struct GdiObject {
    enum Kind { Brush, Font } kind;
    bool stock;
    bool deleted;
    COLORREF colour;
    LOGFONTA font;
};
std::optional<GdiObject> Object(HGDIOBJ handle);
size_t LiveObjects();  // created and not deleted, stock objects excluded
bool DeletedStockObject();
COLORREF ButtonFaceColour();
COLORREF BackgroundColour(HDC dc);
void AddFontResource(const std::string& path);
bool FontResourceLoaded(const std::string& path);
int FontChangeBroadcasts();

}  // namespace fake
