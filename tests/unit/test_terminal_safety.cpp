// For a terminal control bytes become dots (a carriage return too, C1 ones in UTF-8
// and lone); tab, line feed and text stay.
#include <gtest/gtest.h>

#include <string>

#include "terminal_safety.h"

TEST(TerminalSafety, ControlBytesAreMaskedAndTextStays)
{
    const std::pair<std::string, std::string> rows[] = {
        {"a\tb\nc\rOVERWRITE", "a\tb\nc.OVERWRITE"},
        {std::string("\x1b[31m\x07\x7f\x00z", 9), ".[31m...z"},
        {"\xc2\x9b"
         "1m \xc2\xa0 \xe2\x82\xac",
         ".1m \xc2\xa0 \xe2\x82\xac"},
        {"\x9b\x85\xff\xc3", "..\xff\xc3"},
    };
    for (auto [text, masked] : rows) {
        text.resize(MaskControlBytes(text.data(), text.size()));
        EXPECT_EQ(text, masked);
    }
}
