// A promise of the code under test that an input broke ends the run at once,
// so that the fuzzer keeps that input.
#pragma once

#include <cstdlib>

inline void Require(bool condition)
{
    if (!condition) {
        std::abort();
    }
}
