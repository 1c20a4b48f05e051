// Console control events and the escape check. The loops that run until the
// user stops them (poll, walk, trap reception) ask EscapePressed once per pass;
// Ctrl+C and its kin are turned into a pending Escape key so that they stop
// those loops the same way instead of ending the process; a second one before
// the first was seen ends the process.
#include <atomic>

#include "os/os_services.h"
#include "tool.h"

namespace {

constexpr int kNoKey = -1;
constexpr int kEscapeKey = 27;

// The push-back slot of the key input: empty (kNoKey) or one key 0 to 255.
// It is the only datum the signal handler shares with the tool's thread, so it
// must be a lock-free atomic.
std::atomic<int> g_pendingKey{kNoKey};
static_assert(std::atomic<int>::is_always_lock_free,
              "the pending key is written from a signal handler");

// Puts a key into the slot only when it is empty; a key that finds the slot
// full is lost, which keeps an Escape already waiting from being overwritten.
void PutPendingKey(int key)
{
    int expected = kNoKey;
    g_pendingKey.compare_exchange_strong(expected, key);
}

}  // namespace

int ConsoleCtrlHandler(uint32_t /*controlType*/)
{
    // Runs inside a signal handler: the atomic is all it may touch.
    int held = kNoKey;
    if (g_pendingKey.compare_exchange_strong(held, kEscapeKey)) {
        return 1;
    }
    // A second event while the first one's Escape still waits: the loop has
    // not come round to it (a long interval, a silent agent) and the user
    // wants out now. Handing it back ends the process.
    return held == kEscapeKey ? 0 : 1;
}

bool EscapePressed()
{
    // The pending key comes first, so the Escape of a Ctrl+C is seen even when
    // there is no terminal to read from.
    int key = g_pendingKey.exchange(kNoKey);
    if (key == kNoKey) {
        if (ConsoleKeyWaiting() == 0) {
            return false;
        }
        int extendedCode = kNoKey;
        key = ConsoleReadKey(&extendedCode);
        // An arrow or function key reads as a lead value now and its code on
        // the next check, so one such key never looks like Escape.
        if (extendedCode != kNoKey) {
            PutPendingKey(extendedCode);
        }
    }
    return key == kEscapeKey;
}
