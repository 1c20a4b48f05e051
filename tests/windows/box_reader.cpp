// Usage: box_reader LIMIT_MS PROGRAM ARGUMENT_TEXT. Runs PROGRAM with that argument text, reads
// each of its boxes once shown and presses OK: one line "caption|text|icon=I topmost=T" each.
// Then "status N", its exit status, or "still running" after LIMIT_MS (it is then ended).
// It watches the launcher to its end, not for a fixed time: under wine the first window of a
// session can wait ten seconds for the desktop to start. A fifth argument, a virtual key code,
// gives PROGRAM a console of its own, where that key is pressed and released.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

HWND ShownBox(DWORD process)
{
    for (HWND box = FindWindowExA(nullptr, nullptr, "#32770", nullptr); box != nullptr;
         box = FindWindowExA(nullptr, box, "#32770", nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(box, &owner);
        // Shown only once its caption and text are set.
        if (owner == process && IsWindowVisible(box)) {
            return box;
        }
    }
    return nullptr;
}

void ReportAndClose(HWND box)
{
    char caption[256] = {};
    char text[2048] = {};
    GetWindowTextA(box, caption, sizeof caption);
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);  // the text's static control
    bool icon = false;
    EnumChildWindows(
        box,
        [](HWND control, LPARAM found) -> BOOL {
            *reinterpret_cast<bool*>(found) |= SendMessageA(control, STM_GETICON, 0, 0) != 0;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&icon));
    const bool topmost = (GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    std::printf("%s|%s|icon=%d topmost=%d\n", caption, text, icon, topmost);
    SendMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

// Once PROGRAM has run for a second. Escape carries its character; the other keys used, none.
void PressKey(DWORD process, WORD key)
{
    Sleep(1000);
    FreeConsole();
    AttachConsole(process);
    const HANDLE input = CreateFileA("CONIN$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
    INPUT_RECORD events[2] = {};
    for (int i = 0; i < 2; ++i) {
        events[i].EventType = KEY_EVENT;
        events[i].Event.KeyEvent = {i == 0, 1, key, 0, {key == VK_ESCAPE ? L'\x1b' : L'\0'}, 0};
    }
    DWORD written = 0;
    WriteConsoleInputW(input, events, 2, &written);
    CloseHandle(input);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4 && argc != 5) {
        return 2;
    }
    std::string commandLine = std::string("\"") + argv[2] + "\" " + argv[3];
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION launcher = {};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                        argc == 5 ? CREATE_NEW_CONSOLE : 0, nullptr, nullptr, &startup,
                        &launcher)) {
        return 2;
    }
    const ULONGLONG deadline = GetTickCount64() + std::atoi(argv[1]);
    if (argc == 5) {
        PressKey(launcher.dwProcessId, static_cast<WORD>(std::atoi(argv[4])));
    }
    HWND answered = nullptr;  // may still be on its way out
    while (WaitForSingleObject(launcher.hProcess, 20) == WAIT_TIMEOUT) {
        if (GetTickCount64() > deadline) {
            std::printf("still running\n");
            TerminateProcess(launcher.hProcess, 1);
            return 0;
        }
        const HWND box = ShownBox(launcher.dwProcessId);
        if (box != nullptr && box != answered) {
            ReportAndClose(box);
            answered = box;
        }
    }
    DWORD status = 0;
    GetExitCodeProcess(launcher.hProcess, &status);
    std::printf("status %lu\n", status);
    return 0;
}
