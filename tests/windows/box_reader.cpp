// Finds the launcher's error box, prints its caption and text on one line
// ("caption|text") and presses OK; then looks for the next one, until none
// appears within the wait. Usage: box_reader WAIT_MS COUNT. It prints one line
// per box, at most COUNT boxes, and exits 0; a box that cannot be read is
// exit status 1.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

// The message box's text is the static control with this id.
constexpr int kMessageTextId = 0xFFFF;

HWND FindBox(DWORD waitMs)
{
    const ULONGLONG deadline = GetTickCount64() + waitMs;
    do {
        const HWND box = FindWindowA("#32770", "Error");
        if (box != nullptr) {
            return box;
        }
        Sleep(50);
    } while (GetTickCount64() < deadline);
    return nullptr;
}

}  // namespace

int main(int argc, char** argv)
{
    const DWORD waitMs = argc > 1 ? static_cast<DWORD>(std::atoi(argv[1])) : 5000;
    const int count = argc > 2 ? std::atoi(argv[2]) : 1;
    for (int i = 0; i < count; ++i) {
        const HWND box = FindBox(waitMs);
        if (box == nullptr) {
            break;
        }
        char caption[256] = {};
        char text[2048] = {};
        GetWindowTextA(box, caption, sizeof caption);
        if (GetDlgItemTextA(box, kMessageTextId, text, sizeof text) == 0) {
            std::printf("unreadable box\n");
            return 1;
        }
        std::printf("%s|%s\n", caption, text);
        std::fflush(stdout);
        // OK is the box's only button: IDOK.
        SendMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        // The box is gone before the next one is looked for.
        for (int tries = 0; tries < 100 && IsWindow(box); ++tries) {
            Sleep(20);
        }
    }
    return 0;
}
