// The JSON Lines writer: what counts as UTF-8 (RFC 3629 section 4), and texts
// that are escaped or repaired so that a line stays one valid JSON object.
#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "json_output.h"

TEST(JsonOutput, Utf8IsCheckedAsRfc3629Says)
{
    const std::pair<std::string, bool> rows[] = {
        {"plain \x7f", true},        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", true},
        {"\xf4\x8f\xbf\xbf", true},  {"\xc0\x80", false},          // overlong NUL
        {"\xe0\x9f\xbf", false},     {"\xed\xa0\x80", false},      // overlong, surrogate
        {"\xf4\x90\x80\x80", false}, {"\xf5\x80\x80\x80", false},  // above U+10FFFF
        {"\xe2\x82", false},         {"\x80", false},              // cut, lone continuation
    };
    for (const auto& [text, valid] : rows) {
        EXPECT_EQ(IsValidUtf8(reinterpret_cast<const uint8_t*>(text.data()), text.size()), valid)
            << text;
    }
}

TEST(JsonOutput, TextsAreEscapedAndNumbersExact)
{
    JsonLine line;
    line.Begin();
    line.Text("t", std::string("q\"b\\\n\x00\x7f\xff\xc3\xa9", 10));
    line.Unsigned("u", UINT64_MAX);
    line.Signed("s", INT64_MIN);
    line.Real("r", std::numeric_limits<double>::infinity());
    EXPECT_EQ(line.Finish(), "{\"t\":\"q\\\"b\\\\\\u000a\\u0000\\u007f\\ufffd\xc3\xa9\","
                             "\"u\":18446744073709551615,\"s\":-9223372036854775808,\"r\":null}\n");
}
