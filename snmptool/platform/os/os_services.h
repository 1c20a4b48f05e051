// The few operating-system services the tool uses beside SNMP: console
// control events, the keyboard of the controlling terminal, sleeping, the
// platform version, and the event that trap reception signals. For the tool's
// files only: the version record bears the system's own names, so this header
// never stands beside the system's headers (the layer's files include the
// header of the one service they need).
#pragma once

#include <cstdint>

#include "os/console_signals.h"
#include "os/os_misc.h"
#include "os/platform_event.h"
#include "os/terminal_keys.h"

constexpr uint32_t VER_PLATFORM_WIN32_NT = kPlatformFamilyNt;

struct OSVERSIONINFOA {
    uint32_t dwOSVersionInfoSize;
    uint32_t dwMajorVersion;
    uint32_t dwMinorVersion;
    uint32_t dwBuildNumber;
    uint32_t dwPlatformId;
    char szCSDVersion[128];
};

// Fills the record (its size field must be set) with the platform family.
int GetVersionExA(OSVERSIONINFOA* info);
