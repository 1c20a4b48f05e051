// The keyboard of the controlling terminal, looked at and read without
// blocking. Standard input is not used: it may be a file or a pipe, and the
// keys the user types still arrive on the terminal.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "os/system_error.h"
#include "os/terminal_keys.h"
#include "values/last_error.h"

namespace {

constexpr uint8_t kEscape = 27;
// The lead value of a key that the terminal sends as an escape sequence.
constexpr int kExtendedLead = 0xE0;
// An escape sequence that names no key we know.
constexpr int kUnknownKeyCode = 0xFF;
// A sequence longer than this is no key; the rest stays for later reads.
constexpr int kMaxSequenceBytes = 16;
// A terminal writes a key's sequence at once, but a slow link may split it:
// after an Escape byte the rest is given this long to arrive, and only after
// an Escape byte, so an ordinary key never waits.
constexpr int kSequenceWaitMs = 25;

// Usual PC scan codes of the keys that terminals send as sequences.
enum : int {
    KEY_F1 = 59,
    KEY_F2 = 60,
    KEY_F3 = 61,
    KEY_F4 = 62,
    KEY_F5 = 63,
    KEY_F6 = 64,
    KEY_F7 = 65,
    KEY_F8 = 66,
    KEY_F9 = 67,
    KEY_F10 = 68,
    KEY_HOME = 71,
    KEY_UP = 72,
    KEY_PAGE_UP = 73,
    KEY_LEFT = 75,
    KEY_RIGHT = 77,
    KEY_END = 79,
    KEY_DOWN = 80,
    KEY_PAGE_DOWN = 81,
    KEY_INSERT = 82,
    KEY_DELETE = 83,
    KEY_F11 = 133,
    KEY_F12 = 134,
};

// The final letter of "ESC [ ... letter" and "ESC O letter".
struct LetterKey {
    char letter;
    int code;
};
constexpr LetterKey kLetterKeys[] = {
    {'A', KEY_UP},  {'B', KEY_DOWN}, {'C', KEY_RIGHT}, {'D', KEY_LEFT}, {'H', KEY_HOME},
    {'F', KEY_END}, {'P', KEY_F1},   {'Q', KEY_F2},    {'R', KEY_F3},   {'S', KEY_F4},
};

// The number of "ESC [ number ~".
struct NumberKey {
    int number;
    int code;
};
constexpr NumberKey kNumberKeys[] = {
    {1, KEY_HOME},      {2, KEY_INSERT}, {3, KEY_DELETE}, {4, KEY_END},  {5, KEY_PAGE_UP},
    {6, KEY_PAGE_DOWN}, {7, KEY_HOME},   {8, KEY_END},    {11, KEY_F1},  {12, KEY_F2},
    {13, KEY_F3},       {14, KEY_F4},    {15, KEY_F5},    {17, KEY_F6},  {18, KEY_F7},
    {19, KEY_F8},       {20, KEY_F9},    {21, KEY_F10},   {23, KEY_F11}, {24, KEY_F12},
};

// The Linux console's "ESC [ [ letter" for F1 to F5.
constexpr int kConsoleFunctionKeys[] = {KEY_F1, KEY_F2, KEY_F3, KEY_F4, KEY_F5};

int g_terminal = -1;
bool g_terminalTried = false;
// A byte read after an Escape that turned out to be the next key; -1 when none.
int g_heldByte = -1;

// The controlling terminal, opened on first use; -1 when there is none.
int Terminal()
{
    if (!g_terminalTried) {
        g_terminalTried = true;
        g_terminal = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    }
    return g_terminal;
}

// The terminal when this process may use it now: a background process group
// that read from it or changed its mode would be stopped (SIGTTIN, SIGTTOU).
int ForegroundTerminal()
{
    const int fd = Terminal();
    if (fd < 0 || tcgetpgrp(fd) != getpgrp()) {
        return -1;
    }
    return fd;
}

// Switches the terminal to byte-at-a-time input without echo, leaving Ctrl+C
// and the other signal keys working, and keeps the mode to restore in *saved.
bool EnterKeyMode(int fd, termios* saved)
{
    if (tcgetattr(fd, saved) != 0) {
        return false;
    }
    termios keys = *saved;
    keys.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHONL | IEXTEN);
    keys.c_cc[VMIN] = 0;
    keys.c_cc[VTIME] = 0;
    return tcsetattr(fd, TCSANOW, &keys) == 0;
}

// TCSANOW: waiting for output to drain could block on a stopped terminal. The
// typed bytes stay queued either way.
void LeaveKeyMode(int fd, const termios& saved)
{
    tcsetattr(fd, TCSANOW, &saved);
}

// One byte, waiting up to `waitMs` for it; -1 when none comes.
int ReadByte(int fd, int waitMs)
{
    uint8_t byte = 0;
    if (read(fd, &byte, 1) == 1) {
        return byte;
    }
    pollfd watch = {fd, POLLIN, 0};
    if (waitMs <= 0 || poll(&watch, 1, waitMs) <= 0) {
        return -1;
    }
    return read(fd, &byte, 1) == 1 ? byte : -1;
}

int CodeOfLetter(int letter)
{
    for (const LetterKey& key : kLetterKeys) {
        if (key.letter == letter) {
            return key.code;
        }
    }
    return kUnknownKeyCode;
}

int CodeOfNumber(int number)
{
    for (const NumberKey& key : kNumberKeys) {
        if (key.number == number) {
            return key.code;
        }
    }
    return kUnknownKeyCode;
}

// After "ESC [": reads parameters up to the final byte (0x40 to 0x7E) and
// names the key. Modifiers ("ESC [ 1 ; 5 A") do not change the key.
int ReadControlSequence(int fd)
{
    const int first = ReadByte(fd, kSequenceWaitMs);
    if (first == '[') {
        const int letter = ReadByte(fd, kSequenceWaitMs);
        if (letter >= 'A' && letter <= 'E') {
            return kConsoleFunctionKeys[letter - 'A'];
        }
        return kUnknownKeyCode;
    }
    int number = 0;
    bool inFirstNumber = true;
    int byte = first;
    for (int taken = 1; taken <= kMaxSequenceBytes && byte >= 0; ++taken) {
        if (byte >= 0x40 && byte <= 0x7E) {
            if (byte == '~') {
                return CodeOfNumber(number);
            }
            return CodeOfLetter(byte);
        }
        if (byte >= '0' && byte <= '9') {
            if (inFirstNumber && number < 1000) {
                number = number * 10 + (byte - '0');
            }
        } else {
            inFirstNumber = false;
        }
        byte = ReadByte(fd, kSequenceWaitMs);
    }
    return kUnknownKeyCode;
}

// Reads one key; the terminal is in key mode.
int ReadOneKey(int fd, int* extendedCode)
{
    int byte = g_heldByte;
    g_heldByte = -1;
    if (byte < 0) {
        byte = ReadByte(fd, 0);
    }
    if (byte != kEscape) {
        return byte;
    }
    const int next = ReadByte(fd, kSequenceWaitMs);
    if (next == '[') {
        *extendedCode = ReadControlSequence(fd);
        return kExtendedLead;
    }
    if (next == 'O') {
        const int letter = ReadByte(fd, kSequenceWaitMs);
        *extendedCode = letter < 0 ? kUnknownKeyCode : CodeOfLetter(letter);
        return kExtendedLead;
    }
    // An Escape followed by a byte that opens no sequence is still an Escape;
    // that byte is the next key.
    g_heldByte = next;
    return kEscape;
}

}  // namespace

int ConsoleKeyWaiting()
{
    const int fd = ForegroundTerminal();
    if (fd < 0) {
        return 0;
    }
    if (g_heldByte >= 0) {
        return 1;
    }
    // In line mode the terminal shows no byte before Enter; the key mode is
    // held just for the look, and the typed bytes stay where they are.
    termios saved;
    if (!EnterKeyMode(fd, &saved)) {
        return 0;
    }
    int waiting = 0;
    const int counted = ioctl(fd, FIONREAD, &waiting);
    LeaveKeyMode(fd, saved);
    return counted == 0 && waiting > 0 ? 1 : 0;
}

int ConsoleReadKey(int* extendedCode)
{
    if (extendedCode == nullptr) {
        SetLastError(ERROR_BAD_ARGUMENT);
        return -1;
    }
    *extendedCode = -1;
    const int fd = ForegroundTerminal();
    if (fd < 0) {
        SetLastErrorFromErrno(ENOTTY);
        return -1;
    }
    termios saved;
    if (!EnterKeyMode(fd, &saved)) {
        SetLastErrorFromErrno(errno);
        return -1;
    }
    const int key = ReadOneKey(fd, extendedCode);
    LeaveKeyMode(fd, saved);
    if (key < 0) {
        // Nothing was typed: the caller did not look first.
        SetLastErrorFromErrno(EAGAIN);
    }
    return key;
}
