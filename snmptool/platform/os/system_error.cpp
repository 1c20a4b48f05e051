// The words for every code: the layer's own first, then the system's.
#include "os/system_error.h"

#include <cstring>

#include "values/last_error.h"

void SetLastErrorFromErrno(int errnoValue)
{
    SetLastError(SystemErrorCodeFromErrno(errnoValue));
}

const char* LastErrorText(uint32_t code)
{
    const char* text = LayerErrorText(code);
    return text != nullptr ? text : SystemErrorText(code);
}

const char* ErrnoCodeText(uint32_t code)
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
