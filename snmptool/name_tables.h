// Names of wire values, kept in arrays indexed by the value.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The name of `value` in `names`, or "Unknown". The value is taken as unsigned,
// so that negative values are unknown as well.
template <size_t N>
const char* NameOrUnknown(const std::array<const char*, N>& names, int32_t value)
{
    const uint32_t index = static_cast<uint32_t>(value);
    return index < names.size() ? names[index] : "Unknown";
}
