// The stand-in's windows, message queue, message boxes, the modal dialog of template 109 and
// the drawing objects: what the program shows, and the user's scripted answers.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <stdexcept>

#include "fake_internal.h"

using namespace fake::detail;

namespace fake {
namespace {

struct Window {
    HWND handle;
    std::string className;
    std::string text;
    WNDPROC procedure;
    DLGPROC dialogProcedure;
    HWND parent;
    int id;
    std::vector<HWND> children;
    HFONT font;
    bool destroyed;
    bool ended;
    INT_PTR endResult;
};

std::map<HWND, Window> windows;
uintptr_t nextWindow;
std::vector<WNDCLASSA> classes;
std::vector<std::string> classNames;
std::vector<CreatedWindow> created;
std::deque<MSG> queue;
std::vector<UINT> dispatched;
bool waitedOnEmptyQueue;
HICON loadedIcon;
int loadedIconId;

std::deque<int> boxAnswers;
std::vector<ShownBox> boxes;
std::deque<DialogAction> dialogActions;
std::vector<ShownDialog> dialogs;

std::map<HGDIOBJ, GdiObject> objects;
uintptr_t nextObject;
bool deletedStock;
HFONT templateFont;
std::map<HDC, COLORREF> backgrounds;
std::map<std::string, bool> fontResources;  // upper-case path -> loaded
int fontChangeBroadcasts;

const COLORREF kButtonFace = RGB(212, 208, 200);

HWND NewWindow(const std::string& className, HWND parent, int id) {
    HWND handle = reinterpret_cast<HWND>(nextWindow);
    nextWindow += 4;
    Window window{};
    window.handle = handle;
    window.className = className;
    window.parent = parent;
    window.id = id;
    windows[handle] = window;
    if (parent) windows.at(parent).children.push_back(handle);
    return handle;
}

Window* FindWindow(HWND handle) {
    auto found = windows.find(handle);
    return found == windows.end() || found->second.destroyed ? nullptr : &found->second;
}

HGDIOBJ NewObject(GdiObject object) {
    HGDIOBJ handle = reinterpret_cast<HGDIOBJ>(nextObject);
    nextObject += 4;
    objects[handle] = object;
    return handle;
}

LOGFONTA TemplateLogFont() {
    LOGFONTA font{};
    font.lfHeight = -11;
    font.lfWeight = FW_BOLD;  // a bold dialog font, which the program is to make normal
    std::strcpy(font.lfFaceName, "MS Sans Serif");
    return font;
}

}  // namespace

const std::vector<TemplateControl>& AskTemplateControls() {
    static const std::vector<TemplateControl> controls = {
        {IDYES, "BUTTON", 0x50010001}, {1001, "BUTTON", 0x50010000}, {1000, "STATIC", 0x50020000},
        {IDNO, "BUTTON", 0x50010000},  {1002, "BUTTON", 0x50010000},
    };
    return controls;
}

HFONT TemplateFont() { return templateFont; }

void AnswerBoxes(const std::vector<int>& answers) {
    for (int answer : answers) boxAnswers.push_back(answer);
}
const std::vector<ShownBox>& Boxes() { return boxes; }

void AnswerDialogs(const std::vector<int>& commands) {
    for (int command : commands) dialogActions.push_back({command, nullptr});
}
void ScriptDialogs(const std::vector<DialogAction>& actions) {
    for (const DialogAction& action : actions) dialogActions.push_back(action);
}
const std::vector<ShownDialog>& Dialogs() { return dialogs; }

const std::vector<CreatedWindow>& Windows() {
    for (CreatedWindow& window : created) {
        auto found = windows.find(window.window);
        window.destroyed = found == windows.end() || found->second.destroyed;
    }
    return created;
}
const std::vector<WNDCLASSA>& Classes() { return classes; }
std::string ClassName(const WNDCLASSA& windowClass) {
    for (size_t i = 0; i < classes.size(); ++i)
        if (&classes[i] == &windowClass) return classNames[i];
    return "";
}

void PostToQueue(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG posted{};
    posted.hwnd = window;
    posted.message = message;
    posted.wParam = wParam;
    posted.lParam = lParam;
    queue.push_back(posted);
}
std::vector<UINT> DispatchedMessages() { return dispatched; }
bool WaitedOnEmptyQueue() { return waitedOnEmptyQueue; }
HICON LoadedIcon() { return loadedIcon; }
int LoadedIconId() { return loadedIconId; }

std::optional<GdiObject> Object(HGDIOBJ handle) {
    auto found = objects.find(handle);
    if (found == objects.end()) return std::nullopt;
    return found->second;
}
size_t LiveObjects() {
    return std::count_if(objects.begin(), objects.end(),
                         [](const auto& entry) { return !entry.second.stock && !entry.second.deleted && entry.first != templateFont; });
}
bool DeletedStockObject() { return deletedStock; }
COLORREF ButtonFaceColour() { return kButtonFace; }
COLORREF BackgroundColour(HDC dc) {
    auto found = backgrounds.find(dc);
    return found == backgrounds.end() ? static_cast<COLORREF>(-1) : found->second;
}
void AddFontResource(const std::string& path) { fontResources[Upper(path)] = true; }
bool FontResourceLoaded(const std::string& path) {
    auto found = fontResources.find(Upper(path));
    return found != fontResources.end() && found->second;
}
int FontChangeBroadcasts() { return fontChangeBroadcasts; }

namespace detail {

void ResetUser() {
    windows.clear();
    nextWindow = 0x3000;
    classes.clear();
    classNames.clear();
    created.clear();
    queue.clear();
    dispatched.clear();
    waitedOnEmptyQueue = false;
    loadedIcon = nullptr;
    loadedIconId = 0;
    boxAnswers.clear();
    boxes.clear();
    dialogActions.clear();
    dialogs.clear();
    objects.clear();
    nextObject = 0x4000;
    deletedStock = false;
    backgrounds.clear();
    fontResources.clear();
    fontChangeBroadcasts = 0;
    for (int stock : {WHITE_BRUSH, LTGRAY_BRUSH, GRAY_BRUSH, NULL_BRUSH})
        objects[reinterpret_cast<HGDIOBJ>(static_cast<uintptr_t>(0x100 + stock))] = {GdiObject::Brush, true, false, 0, {}};
    templateFont = static_cast<HFONT>(NewObject({GdiObject::Font, false, false, 0, TemplateLogFont()}));
}

}  // namespace detail
}  // namespace fake

using namespace fake;

ATOM WINAPI RegisterClassA(const WNDCLASSA* windowClass) {
    const char* api = "RegisterClassA";
    std::string name = Text(windowClass->lpszClassName);
    DWORD error;
    if (Injected(api, &error)) return Fail(api, name, error, ATOM(0));
    if (std::find(classNames.begin(), classNames.end(), name) != classNames.end()) return Fail(api, name, 1410, ATOM(0));
    classes.push_back(*windowClass);
    classNames.push_back(name);
    return Succeed(api, name, static_cast<ATOM>(0xC000 + classes.size()));
}

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                            int height, HWND parent, HMENU, HINSTANCE instance, LPVOID) {
    const char* api = "CreateWindowExA";
    std::string name = Text(className);
    DWORD error;
    if (Injected(api, &error)) return Fail(api, name, error, HWND(nullptr));
    auto known = std::find(classNames.begin(), classNames.end(), name);
    if (known == classNames.end()) return Fail(api, name, 1407, HWND(nullptr));
    const WNDCLASSA& windowClass = classes[known - classNames.begin()];
    HWND handle = NewWindow(name, parent, 0);
    Window& window = windows.at(handle);
    window.text = Text(windowName);
    window.procedure = windowClass.lpfnWndProc;
    created.push_back({handle, name, window.text, exStyle, style, x, y, width, height, parent, instance, false});
    if (!window.procedure(handle, WM_NCCREATE, 0, 0)) {
        windows.at(handle).destroyed = true;
        return Fail(api, name, 0, HWND(nullptr));
    }
    window.procedure(handle, WM_CREATE, 0, 0);
    return Succeed(api, name, handle);
}

BOOL WINAPI DestroyWindow(HWND handle) {
    const char* api = "DestroyWindow";
    DWORD error;
    if (Injected(api, &error)) return Fail(api, "", error, FALSE);
    Window* window = FindWindow(handle);
    if (!window) return Fail(api, "", ERROR_INVALID_WINDOW_HANDLE, FALSE);
    WNDPROC procedure = window->procedure;
    if (procedure) procedure(handle, WM_DESTROY, 0, 0);
    if (procedure) procedure(handle, WM_NCDESTROY, 0, 0);
    windows.at(handle).destroyed = true;
    return Succeed(api, windows.at(handle).className, TRUE);
}

BOOL WINAPI GetMessageA(LPMSG message, HWND, UINT, UINT) {
    const char* api = "GetMessageA";
    DWORD error;
    if (Injected(api, &error)) return Fail(api, "", error, BOOL(-1));
    if (queue.empty()) {
        // The real call would wait for ever; the stand-in reports an error instead.
        waitedOnEmptyQueue = true;
        return Fail(api, "empty queue", ERROR_INVALID_HANDLE, BOOL(-1));
    }
    *message = queue.front();
    queue.pop_front();
    return Succeed(api, std::to_string(message->message), message->message == WM_QUIT ? FALSE : TRUE);
}

LRESULT WINAPI DispatchMessageA(const MSG* message) {
    const char* api = "DispatchMessageA";
    DWORD error;
    Injected(api, &error);
    dispatched.push_back(message->message);
    Window* window = FindWindow(message->hwnd);
    LRESULT result = window && window->procedure
                         ? window->procedure(message->hwnd, message->message, message->wParam, message->lParam)
                         : 0;
    return Succeed(api, std::to_string(message->message), result);
}

void WINAPI PostQuitMessage(int exitCode) {
    DWORD error;
    Injected("PostQuitMessage", &error);
    PostToQueue(nullptr, WM_QUIT, static_cast<WPARAM>(exitCode), 0);
    Record("PostQuitMessage", std::to_string(exitCode), true);
}

LRESULT WINAPI DefWindowProcA(HWND, UINT message, WPARAM, LPARAM) {
    DWORD error;
    Injected("DefWindowProcA", &error);
    return message == WM_NCCREATE ? TRUE : 0;
}

HICON WINAPI LoadIconA(HINSTANCE, LPCSTR name) {
    const char* api = "LoadIconA";
    DWORD error;
    if (Injected(api, &error)) return Fail(api, "", error, HICON(nullptr));
    loadedIconId = IS_INTRESOURCE(name) ? static_cast<int>(reinterpret_cast<uintptr_t>(name)) : -1;
    loadedIcon = reinterpret_cast<HICON>(static_cast<uintptr_t>(0x5000 + loadedIconId));
    return Succeed(api, std::to_string(loadedIconId), loadedIcon);
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR name) {
    const char* api = "LoadCursorA";
    DWORD error;
    if (Injected(api, &error)) return Fail(api, "", error, HCURSOR(nullptr));
    int id = IS_INTRESOURCE(name) ? static_cast<int>(reinterpret_cast<uintptr_t>(name)) : -1;
    return Succeed(api, std::to_string(id) + (instance ? " own" : " system"),
                   reinterpret_cast<HCURSOR>(static_cast<uintptr_t>(0x6000 + id)));
}

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    const char* api = "MessageBoxA";
    DWORD error;
    ShownBox box{owner, Text(text), Text(caption), type, 0, false};
    if (Injected(api, &error)) {
        boxes.push_back(box);
        return Fail(api, box.text, error, 0);
    }
    if (!boxAnswers.empty()) {
        box.answer = boxAnswers.front();
        box.scripted = true;
        boxAnswers.pop_front();
    }
    boxes.push_back(box);
    return Succeed(api, box.text, box.answer);
}

INT_PTR WINAPI DialogBoxParamA(HINSTANCE, LPCSTR templateName, HWND owner, DLGPROC procedure, LPARAM initParam) {
    const char* api = "DialogBoxParamA";
    int templateId = IS_INTRESOURCE(templateName) ? static_cast<int>(reinterpret_cast<uintptr_t>(templateName)) : -1;
    DWORD error;
    if (Injected(api, &error)) return Fail(api, std::to_string(templateId), error, INT_PTR(-1));
    if (templateId != 109) return Fail(api, std::to_string(templateId), 1812 /* ERROR_RESOURCE_NAME_NOT_FOUND */, INT_PTR(-1));

    HWND dialog = NewWindow("#32770", nullptr, 0);
    windows.at(dialog).dialogProcedure = procedure;
    windows.at(dialog).font = templateFont;
    for (const TemplateControl& control : AskTemplateControls()) {
        HWND child = NewWindow(control.className, dialog, control.id);
        windows.at(child).font = templateFont;
    }
    procedure(dialog, WM_INITDIALOG, 0, initParam);

    bool scripted = true;
    while (!windows.at(dialog).ended) {
        DialogAction action;
        if (dialogActions.empty()) {
            // Nobody answers: the dialog is closed, as with Esc.
            scripted = false;
            action = {IDCANCEL, nullptr};
        } else {
            action = dialogActions.front();
            dialogActions.pop_front();
        }
        if (action.before) action.before(dialog);
        if (windows.at(dialog).ended) break;
        HWND button = nullptr;
        for (HWND child : windows.at(dialog).children)
            if (windows.at(child).id == action.command) button = child;
        procedure(dialog, WM_COMMAND, MAKEWPARAM(action.command, BN_CLICKED), reinterpret_cast<LPARAM>(button));
        if (!scripted && !windows.at(dialog).ended) throw std::logic_error("the dialog does not end on IDCANCEL");
    }

    ShownDialog shown{templateId, owner, windows.at(dialog).text, {}, {}, windows.at(dialog).endResult, scripted};
    for (HWND child : windows.at(dialog).children) {
        shown.texts[windows.at(child).id] = windows.at(child).text;
        shown.fonts[windows.at(child).id] = windows.at(child).font;
    }
    dialogs.push_back(shown);
    for (HWND child : windows.at(dialog).children) windows.at(child).destroyed = true;
    windows.at(dialog).destroyed = true;
    return Succeed(api, std::to_string(templateId), shown.result);
}

BOOL WINAPI EndDialog(HWND dialog, INT_PTR result) {
    const char* api = "EndDialog";
    DWORD error;
    if (Injected(api, &error)) return Fail(api, "", error, FALSE);
    Window* window = FindWindow(dialog);
    if (!window || !window->dialogProcedure) return Fail(api, "", ERROR_INVALID_WINDOW_HANDLE, FALSE);
    window->ended = true;
    window->endResult = result;
    return Succeed(api, std::to_string(result), TRUE);
}

BOOL WINAPI SetWindowTextA(HWND handle, LPCSTR text) {
    const char* api = "SetWindowTextA";
    DWORD error;
    if (Injected(api, &error)) return Fail(api, Text(text), error, FALSE);
    Window* window = FindWindow(handle);
    if (!window) return Fail(api, Text(text), ERROR_INVALID_WINDOW_HANDLE, FALSE);
    window->text = Text(text);
    return Succeed(api, window->text, TRUE);
}

BOOL WINAPI SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
    const char* api = "SetDlgItemTextA";
    std::string subject = std::to_string(id) + " " + Text(text);
    DWORD error;
    if (Injected(api, &error)) return Fail(api, subject, error, FALSE);
    Window* window = FindWindow(dialog);
    if (!window) return Fail(api, subject, ERROR_INVALID_WINDOW_HANDLE, FALSE);
    for (HWND child : window->children)
        if (windows.at(child).id == id) {
            windows.at(child).text = Text(text);
            return Succeed(api, subject, TRUE);
        }
    return Fail(api, subject, 1421 /* ERROR_CONTROL_ID_NOT_FOUND */, FALSE);
}

LRESULT WINAPI SendMessageA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    const char* api = "SendMessageA";
    std::string subject = std::to_string(message);
    DWORD error;
    if (Injected(api, &error)) return Fail(api, subject, error, LRESULT(0));
    if (handle == HWND_BROADCAST) {
        if (message == WM_FONTCHANGE) ++fontChangeBroadcasts;
        return Succeed(api, "broadcast " + subject, LRESULT(0));
    }
    Window* window = FindWindow(handle);
    if (!window) return Fail(api, subject, ERROR_INVALID_WINDOW_HANDLE, LRESULT(0));
    switch (message) {
    case WM_GETFONT:
        return Succeed(api, subject, reinterpret_cast<LRESULT>(window->font));
    case WM_SETFONT:
        window->font = reinterpret_cast<HFONT>(wParam);
        return Succeed(api, subject + " redraw " + std::to_string(lParam), LRESULT(0));
    default:
        if (window->procedure) return Succeed(api, subject, window->procedure(handle, message, wParam, lParam));
        if (window->dialogProcedure) return Succeed(api, subject, static_cast<LRESULT>(window->dialogProcedure(handle, message, wParam, lParam)));
        return Succeed(api, subject, LRESULT(0));
    }
}

int WINAPI wvsprintfA(LPSTR buffer, LPCSTR format, va_list arguments) {
    int length = std::vsnprintf(buffer, 1024, format, arguments);
    return length < 0 ? 0 : std::min(length, 1023);
}

// Only broadcasts are sent this way; each is recorded with its flags and time-out.
LRESULT WINAPI SendMessageTimeoutA(HWND handle, UINT message, WPARAM, LPARAM, UINT flags, UINT timeout, PDWORD_PTR result) {
    const char* api = "SendMessageTimeoutA";
    std::string subject = std::to_string(message) + " flags " + std::to_string(flags) + " timeout " + std::to_string(timeout);
    DWORD error;
    if (result) *result = 0;
    if (Injected(api, &error)) return Fail(api, subject, error, LRESULT(0));
    if (handle != HWND_BROADCAST) return Fail(api, subject, ERROR_INVALID_WINDOW_HANDLE, LRESULT(0));
    if (message == WM_FONTCHANGE) ++fontChangeBroadcasts;
    return Succeed(api, "broadcast " + subject, LRESULT(1));
}

HWND WINAPI GetWindow(HWND handle, UINT command) {
    const char* api = "GetWindow";
    DWORD error;
    if (Injected(api, &error)) return Fail(api, "", error, HWND(nullptr));
    Window* window = FindWindow(handle);
    if (!window) return Fail(api, "", ERROR_INVALID_WINDOW_HANDLE, HWND(nullptr));
    if (command == GW_CHILD) return Succeed(api, "child", window->children.empty() ? HWND(nullptr) : window->children.front());
    if (command == GW_HWNDNEXT) {
        if (!window->parent) return Succeed(api, "next", HWND(nullptr));
        const std::vector<HWND>& siblings = windows.at(window->parent).children;
        auto at = std::find(siblings.begin(), siblings.end(), handle);
        return Succeed(api, "next", at + 1 == siblings.end() ? HWND(nullptr) : *(at + 1));
    }
    return Fail(api, "", ERROR_INVALID_PARAMETER, HWND(nullptr));
}

DWORD WINAPI GetSysColor(int index) {
    DWORD error;
    Injected("GetSysColor", &error);
    return Succeed("GetSysColor", std::to_string(index), index == COLOR_BTNFACE ? kButtonFace : RGB(0, 0, 0));
}

HGDIOBJ WINAPI GetStockObject(int index) {
    const char* api = "GetStockObject";
    DWORD error;
    if (Injected(api, &error)) return Fail(api, std::to_string(index), error, HGDIOBJ(nullptr));
    HGDIOBJ handle = reinterpret_cast<HGDIOBJ>(static_cast<uintptr_t>(0x100 + index));
    if (!objects.count(handle)) return Fail(api, std::to_string(index), ERROR_INVALID_PARAMETER, HGDIOBJ(nullptr));
    return Succeed(api, std::to_string(index), handle);
}

HBRUSH WINAPI CreateSolidBrush(COLORREF colour) {
    const char* api = "CreateSolidBrush";
    DWORD error;
    if (Injected(api, &error)) return Fail(api, std::to_string(colour), error, HBRUSH(nullptr));
    return Succeed(api, std::to_string(colour), static_cast<HBRUSH>(NewObject({GdiObject::Brush, false, false, colour, {}})));
}

BOOL WINAPI DeleteObject(HGDIOBJ handle) {
    const char* api = "DeleteObject";
    DWORD error;
    if (Injected(api, &error)) return Fail(api, "", error, FALSE);
    auto found = objects.find(handle);
    if (found == objects.end() || found->second.deleted) return Fail(api, "", ERROR_INVALID_HANDLE, FALSE);
    if (found->second.stock) {
        deletedStock = true;
        return Fail(api, "stock", ERROR_INVALID_HANDLE, FALSE);
    }
    found->second.deleted = true;
    return Succeed(api, found->second.kind == GdiObject::Font ? "font" : "brush", TRUE);
}

COLORREF WINAPI SetBkColor(HDC dc, COLORREF colour) {
    DWORD error;
    Injected("SetBkColor", &error);
    COLORREF previous = fake::BackgroundColour(dc);
    backgrounds[dc] = colour;
    return Succeed("SetBkColor", std::to_string(colour), previous);
}

int WINAPI GetObjectA(HANDLE handle, int size, LPVOID buffer) {
    const char* api = "GetObjectA";
    DWORD error;
    if (Injected(api, &error)) return Fail(api, "", error, 0);
    auto found = objects.find(handle);
    if (found == objects.end() || found->second.deleted || found->second.kind != GdiObject::Font)
        return Fail(api, "", ERROR_INVALID_HANDLE, 0);
    int copied = std::min<int>(size, sizeof(LOGFONTA));
    if (buffer) std::memcpy(buffer, &found->second.font, copied);
    return Succeed(api, std::to_string(size), copied);
}

HFONT WINAPI CreateFontIndirectA(const LOGFONTA* font) {
    const char* api = "CreateFontIndirectA";
    DWORD error;
    if (Injected(api, &error)) return Fail(api, "", error, HFONT(nullptr));
    return Succeed(api, std::to_string(font->lfWeight), static_cast<HFONT>(NewObject({GdiObject::Font, false, false, 0, *font})));
}

BOOL WINAPI RemoveFontResourceA(LPCSTR fileName) {
    const char* api = "RemoveFontResourceA";
    std::string subject = Text(fileName);
    DWORD error;
    if (Injected(api, &error)) return Fail(api, subject, error, FALSE);
    auto found = fontResources.find(Upper(subject));
    if (found == fontResources.end() || !found->second) return Fail(api, subject, ERROR_FILE_NOT_FOUND, FALSE);
    found->second = false;
    return Succeed(api, subject, TRUE);
}

// The desktop holds no top-level windows of other processes.
BOOL WINAPI EnumWindows(WNDENUMPROC, LPARAM) { return TRUE; }
DWORD WINAPI GetWindowThreadProcessId(HWND, LPDWORD process) {
    if (process) *process = 0;
    return 0;
}
BOOL WINAPI PostMessageA(HWND, UINT message, WPARAM, LPARAM) {
    DWORD error;
    if (Injected("PostMessageA", &error)) return Fail("PostMessageA", std::to_string(message), error, FALSE);
    return Succeed("PostMessageA", std::to_string(message), TRUE);
}
BOOL WINAPI ExitWindowsEx(UINT flags, DWORD) {
    DWORD error;
    if (Injected("ExitWindowsEx", &error)) return Fail("ExitWindowsEx", std::to_string(flags), error, FALSE);
    return Succeed("ExitWindowsEx", std::to_string(flags), TRUE);
}
