// The codes of failed system calls: ERROR_SYSTEM_BASE plus the errno value,
// and strerror's text for it.
#include "os/system_error.h"
#include "values/last_error.h"

uint32_t SystemErrorCodeFromErrno(int errnoValue)
{
    return ERROR_SYSTEM_BASE + static_cast<uint32_t>(errnoValue);
}

const char* SystemErrorText(uint32_t code)
{
    return ErrnoCodeText(code);
}
