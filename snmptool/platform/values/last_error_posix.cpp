// The per-thread last-error code where the system keeps none of its own.
#include "values/last_error.h"

namespace {

thread_local uint32_t t_lastError = 0;

}  // namespace

uint32_t GetLastError()
{
    return t_lastError;
}

void SetLastError(uint32_t code)
{
    t_lastError = code;
}
