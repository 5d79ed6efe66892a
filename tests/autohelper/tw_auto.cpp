// tw-auto: the end-to-end tests' hands and eyes under Wine. It waits for the program under
// test, answers each of its boxes and dialogs in turn with the next scripted action, as a
// person would (a click, a key, the close box), and records what every box showed: caption,
// texts, buttons, fonts, focus, and optionally a screenshot.
//
// usage: tw-auto.exe --exe NAME --out RESULT.json [--ready FILE] [--ended FILE] [--timeout S] [--shots DIR] [--no-probe] [--then ACTION] ACTION...
//   --ready: a file it makes once it listens for broadcasts and its probe is in place, so that
//            a program started afterwards, however quick, is seen whole
//   --ended: a file that appears once the program has ended (it may end before it is seen)
//   --no-probe: no font probe of its own, for a program of the other bitness, which cannot load
//               it (there a probe that cannot be loaded would end the hook chain before the
//               probe of the program's own bitness, which tw-auto32 --hook holds)
//   ACTION: press:ID   click the control with that id (IDOK 1, IDCANCEL 2, IDYES 6, IDNO 7, ...);
//                      press:ID|ID.. the first of those the box has (press:6|1: Yes, else OK)
//           key:K[+K..] keys to the focused control: ENTER, ESC, TAB, SPACE, ALT-x, or a letter
//           close       the close box (WM_SYSCOMMAND SC_CLOSE)
//           watch       record the box and leave it alone until it goes
//   --then ACTION answers every box after the scripted ones, where the number of boxes is not known
// It ends when the program has ended, and exits 0 when every action was used and no box
// appeared that no action was left for (such a box is recorded and closed). Meanwhile a hidden
// top-level window of its own counts the font-change broadcasts it receives ("font_changes"),
// and every visible top-level window of the program's, of any class, is listed once ("windows"):
// a run that is to show nothing is checked against all of them, not only its boxes.
//
// usage: tw-auto.exe --short-name PATH
//   prints the short (8.3) form of the path, as the platform gives it.
//
// usage: tw-auto.exe --code-pages
//   prints the system's ANSI and OEM code pages (GetACP, GetOEMCP): the helper's manifest names
//   no code page, so they are the locale's.
//
// usage: tw-auto.exe --hold PATH --ready FILE --until FILE [--timeout S]
//   holds PATH open as another program would (reading and writing shared, deleting not), makes
//   the ready file once it holds it, and lets go when the until file appears.
//
// usage: tw-auto.exe --hang-window --ready FILE --until FILE [--timeout S]
//   shows a top-level window and, once the ready file is made, takes no more messages until the
//   until file appears: a program that sends it a message and waits for the answer without a
//   time limit waits that long.
//
// usage: tw-auto.exe --app-window --ready FILE --until FILE [--ignore-close] [--timeout S]
//   a package's program: shows a top-level window and ends when it is asked to close it
//   (WM_CLOSE), or, with --ignore-close, goes on running until the until file appears. Copied
//   into a package under a name that starts with "tw-auto", it runs from there.
//
// usage: tw-auto.exe --launch FILE
//   starts the command line that FILE holds (UTF-8), exactly as written there, waits for the
//   program and exits with its exit code. A command line given to Wine's loader is rebuilt from
//   its words, each quoted and escaped on its own; a switch such as /L="C:\a b.txt" cannot be
//   passed that way.
//
// usage: tw-auto.exe --reg-link KEY --target NTPATH
//   makes KEY (HKLM\... or HKCU\..., not there yet) a registry link to the key of the native
//   path NTPATH (\Registry\Machine\Software\...), as a user may plant one: a key made with
//   REG_OPTION_CREATE_LINK whose REG_LINK value "SymbolicLinkValue" holds the path in UTF-16,
//   without a terminator. Wine's reg tool cannot make one.
//
// Copied under any name that does not start with "tw-auto" (command.com, cmd.exe, ...), it is a
// planted program: it leaves the mark NAME.ran beside itself and exits, whatever its arguments.
//
// usage: tw-auto32.exe --hook --ready FILE --until FILE [--timeout S]
//   installs the font probe's hook for every thread, makes the ready file, and holds the hook
//   until the until file appears. A hook module is loaded only into programs of its own bitness:
//   the 32-bit build holds the 32-bit probe's hook for a 32-bit program, whose boxes the 64-bit
//   tw-auto reads and answers as usual (the probe writes its findings where both look).
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

struct Options {
    std::wstring exe;
    std::wstring out;
    std::wstring shots;
    std::wstring hold;
    std::wstring ready;
    std::wstring until;
    std::wstring ended;  // appears once the program has ended, also one too quick to be seen
    bool hook = false;
    bool hangWindow = false;
    bool appWindow = false;
    bool ignoreClose = false;
    std::wstring launch;
    bool probe = true;
    std::wstring shortName;
    bool codePages = false;
    std::wstring regLink;
    std::wstring target;
    int timeoutSeconds = 120;
    std::vector<std::string> actions;
    std::string then;  // for the boxes after the scripted actions; empty: such a box is unexpected
};

int fontChanges = 0;

LRESULT CALLBACK ListenerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_FONTCHANGE) ++fontChanges;
    return DefWindowProcW(window, message, wParam, lParam);
}

// A hidden top-level window: broadcasts reach it like any other program's window.
void CreateListener() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ListenerProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"TwAutoListener";
    RegisterClassW(&windowClass);
    CreateWindowExW(0, L"TwAutoListener", L"tw-auto", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr, windowClass.hInstance, nullptr);
}

// Waits while handling this thread's messages, so that a program sending to the listener
// window is never kept waiting.
void Pump(DWORD milliseconds) {
    DWORD end = GetTickCount() + milliseconds;
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        DWORD now = GetTickCount();
        if (static_cast<int>(end - now) <= 0) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, end - now, QS_ALLINPUT);
    }
}

std::string Narrow(const std::wstring& text) {
    if (text.empty()) return "";
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(size - 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &out[0], size, nullptr, nullptr);
    return out;
}

std::string Json(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string WindowText(HWND window) {
    wchar_t buffer[4096];
    // WM_GETTEXT works across processes, also for controls of another process.
    LRESULT length = SendMessageW(window, WM_GETTEXT, sizeof buffer / sizeof buffer[0], reinterpret_cast<LPARAM>(buffer));
    return Narrow(std::wstring(buffer, static_cast<size_t>(length)));
}

std::string ClassOf(HWND window) {
    wchar_t name[256];
    int length = GetClassNameW(window, name, 256);
    return Narrow(std::wstring(name, length > 0 ? length : 0));
}

DWORD FindProcess(const std::wstring& exe) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    DWORD found = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (_wcsicmp(entry.szExeFile, exe.c_str()) == 0) found = entry.th32ProcessID;
    CloseHandle(snapshot);
    return found;
}

struct Search {
    DWORD process;
    std::set<HWND>* handled;
    std::map<HWND, std::string>* shown;  // every visible top-level window of the program seen so far
    HWND found;
};

BOOL CALLBACK FindBox(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<Search*>(data);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != search->process || !IsWindowVisible(window)) return TRUE;
    // The class is read by the system, the caption from its own copy: neither sends the program
    // a message.
    if (!search->shown->count(window)) {
        wchar_t caption[256];
        int length = InternalGetWindowText(window, caption, 256);
        search->shown->emplace(window, "{\"class\": " + Json(ClassOf(window)) + ", \"caption\": " +
                                           Json(Narrow(std::wstring(caption, length > 0 ? length : 0))) + "}");
    }
    if (search->found || search->handled->count(window) || ClassOf(window) != "#32770") return TRUE;
    search->found = window;
    return TRUE;
}

// The folder of tw-auto.exe, with its trailing backslash.
std::wstring OwnFolder() {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.rfind(L'\\') + 1);
}

// The probe of tw-auto's own bitness, next to tw-auto.exe.
#ifdef _WIN64
const wchar_t PROBE_MODULE[] = L"tw-fontprobe.dll";
#else
const wchar_t PROBE_MODULE[] = L"tw-fontprobe32.dll";
#endif

// Installs the probe's hook for every thread, when the module lies next to tw-auto.exe.
bool InstallFontProbe() {
    HMODULE module = LoadLibraryW((OwnFolder() + PROBE_MODULE).c_str());
    if (!module) return false;
    auto hook = reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(module, "ProbeHook")));
    return hook && SetWindowsHookExW(WH_CALLWNDPROC, hook, module, 0);
}

// The fonts of a box and its controls as the probe read them inside the box's process, by
// control id (0: the box), each as a JSON object.
std::map<int, std::string> ProbeFonts(HWND box) {
    std::map<int, std::string> fonts;
    wchar_t name[64];
    swprintf(name, 64, L"fonts-%llx.txt", static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(box)));
    std::wstring path = OwnFolder() + name;
    DeleteFileW(path.c_str());
    DWORD_PTR ignored;
    if (!SendMessageTimeoutW(box, RegisterWindowMessageW(L"TwAutoFontProbe"), 0, 0, SMTO_NORMAL, 3000, &ignored)) return fonts;
    FILE* file = _wfopen(path.c_str(), L"r");
    if (!file) return fonts;
    char line[512];
    while (std::fgets(line, sizeof line, file)) {
        int id = 0;
        char handle[32] = "";
        long weight = 0;
        long height = 0;
        int consumed = 0;
        if (std::sscanf(line, "%d %31s %ld %ld %n", &id, handle, &weight, &height, &consumed) < 4) continue;
        std::string face = line + consumed;
        while (!face.empty() && (face.back() == '\n' || face.back() == '\r')) face.pop_back();
        char text[512];
        if (weight < 0)
            std::snprintf(text, sizeof text, "{\"handle\": \"%s\"}", handle);
        else
            std::snprintf(text, sizeof text, "{\"handle\": \"%s\", \"weight\": %ld, \"height\": %ld, \"face\": %s}", handle, weight,
                          height, Json(face).c_str());
        fonts[id] = text;
    }
    std::fclose(file);
    DeleteFileW(path.c_str());
    return fonts;
}

// A control's font: asked across processes where the system allows it, else as probed.
std::string FontJson(HWND control, const std::map<int, std::string>& probed, int id) {
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    LOGFONTW description{};
    if (font && GetObjectW(font, sizeof description, &description)) {
        char text[256];
        std::snprintf(text, sizeof text, "{\"weight\": %ld, \"height\": %ld, \"face\": %s}", static_cast<long>(description.lfWeight),
                      static_cast<long>(description.lfHeight), Json(Narrow(description.lfFaceName)).c_str());
        return text;
    }
    auto found = probed.find(id);
    if (found != probed.end()) return found->second;
    return font ? "{\"handle\": true}" : "null";
}

std::string Describe(HWND box, HWND owner, const std::string& action, const std::string& shot) {
    RECT rect{};
    GetWindowRect(box, &rect);
    GUITHREADINFO thread{};
    thread.cbSize = sizeof thread;
    GetGUIThreadInfo(GetWindowThreadProcessId(box, nullptr), &thread);
    std::map<int, std::string> probed = ProbeFonts(box);
    std::string json = "{\"caption\": " + Json(WindowText(box));
    json += ", \"font\": " + FontJson(box, probed, 0);
    json += ", \"owner_class\": " + Json(owner ? ClassOf(owner) : "");
    json += ", \"style\": " + std::to_string(static_cast<unsigned long>(GetWindowLongW(box, GWL_STYLE)));
    json += ", \"rect\": [" + std::to_string(rect.left) + ", " + std::to_string(rect.top) + ", " + std::to_string(rect.right) +
            ", " + std::to_string(rect.bottom) + "]";
    json += ", \"focus_id\": " + std::to_string(thread.hwndFocus ? GetDlgCtrlID(thread.hwndFocus) : 0);
    json += ", \"controls\": [";
    bool first = true;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT childRect{};
        GetWindowRect(child, &childRect);
        if (!first) json += ", ";
        first = false;
        json += "{\"id\": " + std::to_string(GetDlgCtrlID(child));
        json += ", \"class\": " + Json(ClassOf(child));
        json += ", \"text\": " + Json(WindowText(child));
        json += ", \"style\": " + std::to_string(static_cast<unsigned long>(GetWindowLongW(child, GWL_STYLE)));
        json += ", \"visible\": " + std::string(IsWindowVisible(child) ? "true" : "false");
        json += ", \"rect\": [" + std::to_string(childRect.left) + ", " + std::to_string(childRect.top) + ", " +
                std::to_string(childRect.right) + ", " + std::to_string(childRect.bottom) + "]";
        json += ", \"font\": " + FontJson(child, probed, GetDlgCtrlID(child)) + "}";
    }
    json += "], \"action\": " + Json(action) + ", \"screenshot\": " + Json(shot) + "}";
    return json;
}

// A picture of the box as the screen shows it, as a 24-bit BMP file.
bool Screenshot(HWND box, const std::wstring& path) {
    RECT rect{};
    if (!GetWindowRect(box, &rect)) return false;
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) return false;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, old);
    DWORD stride = ((width * 3 + 3) / 4) * 4;
    DWORD imageSize = stride * height;
    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof header + sizeof info.bmiHeader;
    header.bfSize = header.bfOffBits + imageSize;
    bool written = false;
    if (FILE* file = _wfopen(path.c_str(), L"wb")) {
        written = fwrite(&header, sizeof header, 1, file) == 1 && fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, file) == 1 &&
                  fwrite(bits, imageSize, 1, file) == 1;
        fclose(file);
    }
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return written;
}

WORD KeyCode(const std::string& name, bool* alt) {
    *alt = false;
    if (name == "ENTER") return VK_RETURN;
    if (name == "ESC") return VK_ESCAPE;
    if (name == "TAB") return VK_TAB;
    if (name == "SPACE") return VK_SPACE;
    if (name.rfind("ALT-", 0) == 0 && name.size() == 5) {
        *alt = true;
        return static_cast<WORD>(toupper(static_cast<unsigned char>(name[4])));
    }
    if (name.size() == 1) return static_cast<WORD>(toupper(static_cast<unsigned char>(name[0])));
    return 0;
}

// Types keys into the box's thread as the keyboard would, to whichever control has the focus.
void SendKeys(HWND box, const std::string& keys) {
    size_t start = 0;
    while (start <= keys.size()) {
        size_t end = keys.find('+', start);
        if (end == std::string::npos) end = keys.size();
        bool alt = false;
        WORD key = KeyCode(keys.substr(start, end - start), &alt);
        start = end + 1;
        if (!key) continue;
        SetForegroundWindow(box);
        Pump(100);
        std::vector<INPUT> inputs;
        auto push = [&inputs](WORD vk, bool up) {
            INPUT input{};
            input.type = INPUT_KEYBOARD;
            input.ki.wVk = vk;
            input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
            inputs.push_back(input);
        };
        if (alt) push(VK_MENU, false);
        push(key, false);
        push(key, true);
        if (alt) push(VK_MENU, true);
        SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
        Pump(300);
    }
}

void Act(HWND box, const std::string& action) {
    if (action.rfind("press:", 0) == 0) {
        // press:6|1 clicks the first of the ids that names a control of the box.
        size_t at = 6;
        while (at < action.size()) {
            HWND button = GetDlgItem(box, std::atoi(action.c_str() + at));
            if (button) {
                PostMessageW(button, BM_CLICK, 0, 0);
                break;
            }
            size_t bar = action.find('|', at);
            if (bar == std::string::npos) break;
            at = bar + 1;
        }
    } else if (action.rfind("key:", 0) == 0) {
        SendKeys(box, action.substr(4));
    } else if (action == "close") {
        PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
}

bool WaitGone(HWND box, DWORD deadline) {
    while (GetTickCount() < deadline) {
        if (!IsWindow(box) || !IsWindowVisible(box)) return true;
        Pump(50);
    }
    return false;
}

Options Parse(int argc, wchar_t** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        auto value = [&]() -> std::wstring { return i + 1 < argc ? argv[++i] : L""; };
        if (arg == L"--then") options.then = Narrow(value());
        else if (arg == L"--exe") options.exe = value();
        else if (arg == L"--out") options.out = value();
        else if (arg == L"--shots") options.shots = value();
        else if (arg == L"--timeout") options.timeoutSeconds = _wtoi(value().c_str());
        else if (arg == L"--hold") options.hold = value();
        else if (arg == L"--ready") options.ready = value();
        else if (arg == L"--until") options.until = value();
        else if (arg == L"--ended") options.ended = value();
        else if (arg == L"--hook") options.hook = true;
        else if (arg == L"--hang-window") options.hangWindow = true;
        else if (arg == L"--app-window") options.appWindow = true;
        else if (arg == L"--ignore-close") options.ignoreClose = true;
        else if (arg == L"--launch") options.launch = value();
        else if (arg == L"--no-probe") options.probe = false;
        else if (arg == L"--short-name") options.shortName = value();
        else if (arg == L"--code-pages") options.codePages = true;
        else if (arg == L"--reg-link") options.regLink = value();
        else if (arg == L"--target") options.target = value();
        else options.actions.push_back(Narrow(arg));
    }
    return options;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Holds a file open without sharing its deletion until told to let go; 0 when it held it.
int Hold(const Options& options) {
    HANDLE file = CreateFileW(options.hold.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "cannot hold the file: error %lu\n", GetLastError());
        return 1;
    }
    HANDLE ready = CreateFileW(options.ready.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready != INVALID_HANDLE_VALUE) CloseHandle(ready);
    DWORD deadline = GetTickCount() + static_cast<DWORD>(options.timeoutSeconds) * 1000;
    while (!Exists(options.until) && static_cast<int>(deadline - GetTickCount()) > 0) Sleep(50);
    CloseHandle(file);
    return 0;
}

// Holds the probe's hook until told to let go; 0 when it held it.
int HoldHook(const Options& options) {
    if (!InstallFontProbe()) {
        std::fprintf(stderr, "cannot install the font probe's hook: error %lu\n", GetLastError());
        return 1;
    }
    HANDLE ready = CreateFileW(options.ready.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready != INVALID_HANDLE_VALUE) CloseHandle(ready);
    DWORD deadline = GetTickCount() + static_cast<DWORD>(options.timeoutSeconds) * 1000;
    while (!Exists(options.until) && static_cast<int>(deadline - GetTickCount()) > 0) Pump(100);
    return 0;
}

void MakeFile(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

// Shows a visible top-level window of a class of its own with the window procedure; null, with
// the reason on stderr, when it cannot be made.
HWND ShowWindowOfClass(const wchar_t* className, const wchar_t* title, WNDPROC procedure, int at) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = className;
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, className, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, at, at, 240, 120, nullptr, nullptr,
                                  windowClass.hInstance, nullptr);
    if (!window) {
        std::fprintf(stderr, "cannot create the window: error %lu\n", GetLastError());
        return nullptr;
    }
    UpdateWindow(window);
    return window;
}

// Shows a top-level window, then takes no message at all until told to stop: whatever is sent
// to it waits, as with a program that hangs; 0 when the window was shown.
int HangWindow(const Options& options) {
    HWND window = ShowWindowOfClass(L"TwAutoHungWindow", L"tw-auto: not answering", DefWindowProcW, 40);
    if (!window) return 1;
    Pump(500);  // what showing it brings is answered; from the ready file on, nothing is
    if (!IsWindowVisible(window)) {
        std::fputs("the window is not visible\n", stderr);
        return 1;
    }
    MakeFile(options.ready);
    // Sleep takes no message: a message sent to the window is not answered while it lasts.
    DWORD deadline = GetTickCount() + static_cast<DWORD>(options.timeoutSeconds) * 1000;
    while (!Exists(options.until) && static_cast<int>(deadline - GetTickCount()) > 0) Sleep(50);
    Pump(200);
    DestroyWindow(window);
    return 0;
}

bool ignoresClose;

LRESULT CALLBACK AppWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE && ignoresClose) return 0;
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(window, message, wParam, lParam);
}

// A program of the package with a window of its own, until it is closed or told to end.
int AppWindow(const Options& options) {
    ignoresClose = options.ignoreClose;
    HWND window = ShowWindowOfClass(L"TwAutoAppWindow", L"tw-auto: a package's program", AppWindowProc, 60);
    if (!window) return 1;
    MakeFile(options.ready);
    DWORD deadline = GetTickCount() + static_cast<DWORD>(options.timeoutSeconds) * 1000;
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) return 0;
            DispatchMessageW(&message);
        }
        if (Exists(options.until) || static_cast<int>(deadline - GetTickCount()) <= 0) break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
    DestroyWindow(window);
    return 0;
}

// Starts the command line the file holds, as written, and passes on the program's exit code;
// 255 when it could not be started.
int Launch(const Options& options) {
    FILE* file = _wfopen(options.launch.c_str(), L"rb");
    if (!file) {
        std::fputs("cannot read the command line's file\n", stderr);
        return 255;
    }
    std::string text;
    char buffer[1024];
    for (size_t read; (read = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, read);
    std::fclose(file);
    int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::vector<wchar_t> line(static_cast<size_t>(size) + 1, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), line.data(), size);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        std::fprintf(stderr, "cannot start the program: error %lu\n", GetLastError());
        return 255;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 255;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return static_cast<int>(code);
}

// Makes the registry link; 0 when it was made.
int MakeRegistryLink(const Options& options) {
    const std::wstring& key = options.regLink;
    HKEY root = key.rfind(L"HKLM\\", 0) == 0 ? HKEY_LOCAL_MACHINE : key.rfind(L"HKCU\\", 0) == 0 ? HKEY_CURRENT_USER : nullptr;
    if (!root || options.target.empty()) {
        std::fputs("usage: tw-auto.exe --reg-link HKLM\\KEY|HKCU\\KEY --target NTPATH\n", stderr);
        return 2;
    }
    HKEY link;
    DWORD disposition = 0;
    LONG result = RegCreateKeyExW(root, key.c_str() + 5, 0, nullptr, REG_OPTION_CREATE_LINK, KEY_CREATE_LINK | KEY_SET_VALUE,
                                  nullptr, &link, &disposition);
    if (result == ERROR_SUCCESS) {
        if (disposition != REG_CREATED_NEW_KEY) result = ERROR_ALREADY_EXISTS;  // a plain key of that name
        else result = RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(options.target.data()),
                                     static_cast<DWORD>(options.target.size() * sizeof(wchar_t)));
        RegCloseKey(link);
    }
    if (result != ERROR_SUCCESS) std::fprintf(stderr, "cannot make the registry link: error %ld\n", result);
    return result == ERROR_SUCCESS ? 0 : 1;
}

}  // namespace

// A planted copy's mark, for tests that show such a program never runs.
bool LeftMarkAsPlanted() {
    wchar_t path[MAX_PATH + 8];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    const wchar_t* name = wcsrchr(path, L'\\');
    name = name ? name + 1 : path;
    if (_wcsnicmp(name, L"tw-auto", 7) == 0) return false;
    wcscat(path, L".ran");
    HANDLE mark = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (mark != INVALID_HANDLE_VALUE) CloseHandle(mark);
    return true;
}

int wmain(int argc, wchar_t** argv) {
    if (LeftMarkAsPlanted()) return 0;
    Options options = Parse(argc, argv);
    if (options.hook) {
        if (options.ready.empty() || options.until.empty()) {
            std::fputs("usage: tw-auto32.exe --hook --ready FILE --until FILE [--timeout S]\n", stderr);
            return 2;
        }
        return HoldHook(options);
    }
    if (!options.launch.empty()) return Launch(options);
    if (!options.regLink.empty()) return MakeRegistryLink(options);
    if (options.appWindow) {
        if (options.ready.empty() || options.until.empty()) {
            std::fputs("usage: tw-auto.exe --app-window --ready FILE --until FILE [--ignore-close] [--timeout S]\n", stderr);
            return 2;
        }
        return AppWindow(options);
    }
    if (options.hangWindow) {
        if (options.ready.empty() || options.until.empty()) {
            std::fputs("usage: tw-auto.exe --hang-window --ready FILE --until FILE [--timeout S]\n", stderr);
            return 2;
        }
        return HangWindow(options);
    }
    if (!options.shortName.empty()) {
        wchar_t shortPath[MAX_PATH];
        DWORD length = GetShortPathNameW(options.shortName.c_str(), shortPath, MAX_PATH);
        if (length == 0 || length >= MAX_PATH) return 1;
        std::fputs((Narrow(shortPath) + "\n").c_str(), stdout);
        return 0;
    }
    if (options.codePages) {
        std::printf("%u %u\n", GetACP(), GetOEMCP());
        return 0;
    }
    if (!options.hold.empty()) {
        if (options.ready.empty() || options.until.empty()) {
            std::fputs("usage: tw-auto.exe --hold PATH --ready FILE --until FILE [--timeout S]\n", stderr);
            return 2;
        }
        return Hold(options);
    }
    if (options.exe.empty() || options.out.empty()) {
        std::fputs("usage: tw-auto.exe --exe NAME --out RESULT.json [--timeout S] [--shots DIR] [--no-probe] [--then ACTION] ACTION...\n", stderr);
        return 2;
    }
    CreateListener();
    if (options.probe) InstallFontProbe();
    if (!options.ready.empty()) {
        HANDLE ready = CreateFileW(options.ready.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (ready != INVALID_HANDLE_VALUE) CloseHandle(ready);
    }
    DWORD deadline = GetTickCount() + static_cast<DWORD>(options.timeoutSeconds) * 1000;
    std::vector<std::string> boxes;
    std::set<HWND> handled;
    std::map<HWND, std::string> shown;
    size_t next = 0;
    bool unexpected = false;
    bool stuck = false;
    bool seen = false;
    DWORD process = 0;

    while (GetTickCount() < deadline) {
        DWORD current = FindProcess(options.exe);
        if (current) {
            seen = true;
            process = current;
        } else if (seen || (!options.ended.empty() && Exists(options.ended))) {
            break;  // the program has ended
        }
        if (!process) {
            Pump(50);
            continue;
        }
        Search search{process, &handled, &shown, nullptr};
        EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
        if (!search.found) {
            Pump(50);
            continue;
        }
        HWND box = search.found;
        handled.insert(box);
        Pump(300);  // let the box finish drawing before it is read and pictured
        std::string action = next < options.actions.size() ? options.actions[next++] : "";
        std::wstring shot;
        if (action.empty()) action = options.then;
        if (!options.shots.empty()) {
            shot = options.shots + L"\\box-" + std::to_wstring(boxes.size() + 1) + L".bmp";
            if (!Screenshot(box, shot)) shot.clear();
        }
        boxes.push_back(Describe(box, GetWindow(box, GW_OWNER), action.empty() ? "unexpected" : action, Narrow(shot)));
        if (action.empty()) {
            unexpected = true;
            Act(box, "close");
        } else {
            Act(box, action);
        }
        if (action != "watch" && !WaitGone(box, GetTickCount() + 15000)) stuck = true;
    }

    bool timedOut = GetTickCount() >= deadline;
    std::string json = "{\"seen\": " + std::string(seen ? "true" : "false") + ", \"timed_out\": " + (timedOut ? "true" : "false") +
                       ", \"unexpected\": " + (unexpected ? "true" : "false") + ", \"stuck\": " + (stuck ? "true" : "false") +
                       ", \"unused_actions\": " + std::to_string(options.actions.size() - next) +
                       ", \"font_changes\": " + std::to_string(fontChanges) + ", \"windows\": [";
    bool firstWindow = true;
    for (const auto& window : shown) {
        json += (firstWindow ? "" : ", ") + window.second;
        firstWindow = false;
    }
    json += "], \"boxes\": [";
    for (size_t i = 0; i < boxes.size(); ++i) json += (i ? ",\n  " : "\n  ") + boxes[i];
    json += "]}\n";
    if (FILE* file = _wfopen(options.out.c_str(), L"wb")) {
        fwrite(json.data(), 1, json.size(), file);
        fclose(file);
    }
    return !timedOut && !unexpected && !stuck && next == options.actions.size() ? 0 : 1;
}
