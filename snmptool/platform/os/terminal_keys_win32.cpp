// The console's keyboard input on Windows: the input device "CONIN$", looked at
// without removing anything and read one key press at a time. Standard input is
// not used, so a redirected one makes no difference.
#include <windows.h>

#include "os/terminal_keys.h"

namespace {

constexpr int kEnhancedLead = 0xE0;
constexpr int kFunctionLead = 0x00;
// Events looked at in one go; a key press further back waits for a later look.
constexpr DWORD kPeekEvents = 64;

HANDLE g_input = INVALID_HANDLE_VALUE;
bool g_opened = false;

// Opened on first use; a process without a console has none.
HANDLE ConsoleInput()
{
    if (!g_opened) {
        g_opened = true;
        g_input =
            CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, OPEN_EXISTING, 0, nullptr);
    }
    return g_input;
}

// Keys that give no character but have a key code of their own: the cursor
// block and the function keys. Shift, Ctrl, Alt and the lock keys give neither.
bool HasExtendedCode(WORD virtualKey)
{
    return (virtualKey >= VK_PRIOR && virtualKey <= VK_DOWN) || virtualKey == VK_INSERT ||
           virtualKey == VK_DELETE || (virtualKey >= VK_F1 && virtualKey <= VK_F12);
}

bool IsKeyThatCounts(const INPUT_RECORD& record)
{
    if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) {
        return false;
    }
    return record.Event.KeyEvent.uChar.AsciiChar != 0 ||
           HasExtendedCode(record.Event.KeyEvent.wVirtualKeyCode);
}

}  // namespace

int ConsoleKeyWaiting()
{
    const HANDLE input = ConsoleInput();
    if (input == INVALID_HANDLE_VALUE) {
        return 0;
    }
    INPUT_RECORD records[kPeekEvents];
    DWORD count = 0;
    if (!PeekConsoleInputA(input, records, kPeekEvents, &count)) {
        return 0;
    }
    for (DWORD i = 0; i < count; ++i) {
        if (IsKeyThatCounts(records[i])) {
            return 1;
        }
    }
    return 0;
}

int ConsoleReadKey(int* extendedCode)
{
    *extendedCode = -1;
    const HANDLE input = ConsoleInput();
    if (input == INVALID_HANDLE_VALUE) {
        return -1;
    }
    DWORD savedMode = 0;
    const bool haveMode = GetConsoleMode(input, &savedMode) != 0;
    SetConsoleMode(input, 0);
    int key = -1;
    for (;;) {
        INPUT_RECORD record;
        DWORD read = 0;
        if (!ReadConsoleInputA(input, &record, 1, &read) || read != 1) {
            break;
        }
        if (!IsKeyThatCounts(record)) {
            continue;
        }
        const KEY_EVENT_RECORD& press = record.Event.KeyEvent;
        if (press.uChar.AsciiChar != 0) {
            key = static_cast<unsigned char>(press.uChar.AsciiChar);
        } else {
            // The cursor block's own keys carry the enhanced flag; the keypad's
            // and the function keys' do not.
            key = (press.dwControlKeyState & ENHANCED_KEY) != 0 ? kEnhancedLead : kFunctionLead;
            *extendedCode = press.wVirtualScanCode & 0xFF;
        }
        break;
    }
    if (haveMode) {
        SetConsoleMode(input, savedMode);
    }
    return key;
}
