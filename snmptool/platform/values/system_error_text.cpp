// The codes of failed system calls: ERROR_SYSTEM_BASE plus the errno value,
// and strerror's text for it.
#include <cstring>

#include "values/last_error.h"

uint32_t SystemErrorCodeFromErrno(int errnoValue)
{
    return ERROR_SYSTEM_BASE + static_cast<uint32_t>(errnoValue);
}

const char* SystemErrorText(uint32_t code)
{
    if (code > ERROR_SYSTEM_BASE && code < ERROR_SYSTEM_BASE + 4096) {
        // strerror's texts are static for valid codes; "Unknown error" marks the rest.
        const char* text = std::strerror(static_cast<int>(code - ERROR_SYSTEM_BASE));
        if (text != nullptr && std::strncmp(text, "Unknown error", 13) != 0) {
            return text;
        }
    }
    return nullptr;
}
