// The compiler's check of a printf-style routine's format against its
// arguments, where the compiler offers one (GCC, Clang); nothing elsewhere.
#pragma once

#if defined(__GNUC__)
#define PRINTF_FORMAT(formatIndex, firstArgument)                                                  \
    __attribute__((format(printf, formatIndex, firstArgument)))
#else
#define PRINTF_FORMAT(formatIndex, firstArgument)
#endif
