// tw-fontprobe.dll: tw-auto's eyes inside the program under test. Fonts do not cross process
// boundaries (another process can neither ask a control for its font nor read the font's
// description), so tw-auto installs this module's hook for every thread; the system loads
// the module into the program, and when tw-auto sends a box the probe message, the hook reads
// the fonts of the box and its controls there and writes them next to this module as
// fonts-<box>.txt (the box's handle in hexadecimal): one line "id handle weight height face"
// per control, id 0 for the box itself, weight -1 when the font cannot be read. Where the system
// calls the hook in the process that installed it instead (a program of the other bitness), the
// box is not this process's and the probe leaves it alone.
#include <windows.h>

#include <cstdio>

namespace {

HMODULE self;

void Describe(FILE* file, int id, HWND window) {
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
    LOGFONTW description{};
    if (!font || !GetObjectW(font, sizeof description, &description)) {
        std::fprintf(file, "%d %llx -1 0 \n", id, static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(font)));
        return;
    }
    char face[LF_FACESIZE * 3];
    WideCharToMultiByte(CP_UTF8, 0, description.lfFaceName, -1, face, sizeof face, nullptr, nullptr);
    std::fprintf(file, "%d %llx %ld %ld %s\n", id, static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(font)),
                 static_cast<long>(description.lfWeight),
                 static_cast<long>(description.lfHeight), face);
}

void Probe(HWND box) {
    DWORD process = 0;
    GetWindowThreadProcessId(box, &process);
    if (process != GetCurrentProcessId()) return;
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    wchar_t* slash = wcsrchr(path, L'\\');
    if (!slash) return;
    swprintf(slash + 1, MAX_PATH - (slash + 1 - path), L"fonts-%llx.txt",
             static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(box)));
    FILE* file = _wfopen(path, L"w");
    if (!file) return;
    Describe(file, 0, box);
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        Describe(file, GetDlgCtrlID(child), child);
    std::fclose(file);
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK ProbeHook(int code, WPARAM wParam, LPARAM lParam) {
    static const UINT probeMessage = RegisterWindowMessageW(L"TwAutoFontProbe");
    const CWPSTRUCT* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && message && message->message == probeMessage) Probe(message->hwnd);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) self = instance;
    return TRUE;
}
