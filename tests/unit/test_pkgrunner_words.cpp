// Command-line text and words: splitting by the platform's rules, joining that survives the
// split, and the command lines the launcher builds for its children.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "child_command.h"
#include "platform/command_line.h"

namespace {

using namespace pkgrunner;

using Words = std::vector<std::string>;

struct SplitCase {
    std::string text;
    Words words;
};

TEST(SplitCommandLine, FollowsQuoteAndBackslashRules)
{
    const SplitCase cases[] = {
        {"", {}},
        {" \t ", {}},
        {"  a\tb  c ", {"a", "b", "c"}},
        {"\"a b c\" d e", {"a b c", "d", "e"}},
        {"\"ab\\\"c\" \"\\\\\" d", {"ab\"c", "\\", "d"}},
        {"a\\\\\\b d\"e f\"g h", {"a\\\\\\b", "de fg", "h"}},
        {"a\\\\\\\"b c d", {"a\\\"b", "c", "d"}},
        {"a\\\\\\\\\"b c\" d e", {"a\\\\b c", "d", "e"}},
        {"\"\" x \"\"", {"", "x", ""}},
        {"\"a\"\"b\" c", {"a\"b", "c"}},
        {"\"open to the end", {"open to the end"}},
        {"trailing\\", {"trailing\\"}},
    };
    for (const SplitCase& row : cases) {
        EXPECT_EQ(SplitCommandLine(row.text), row.words) << "text: " << row.text;
    }
}

TEST(JoinArguments, QuotesOnlyWhereNeeded)
{
    const char* none[] = {"pkgrunner"};
    EXPECT_EQ(JoinArguments(1, none), "");
    const char* plain[] = {"pkgrunner", "-q", "/silent", "C:\\path\\x"};
    EXPECT_EQ(JoinArguments(4, plain), "-q /silent C:\\path\\x");
    const char* needing[] = {"pkgrunner", "", "a b", "say \"hi\"", "dir\\ "};
    EXPECT_EQ(JoinArguments(5, needing), "\"\" \"a b\" \"say \\\"hi\\\"\" \"dir\\ \"");
    EXPECT_EQ(QuoteArgument("in\\\"side"), "\"in\\\\\\\"side\"");
    EXPECT_EQ(QuoteArgument("x\\ y\\"), "\"x\\ y\\\\\"");
}

TEST(JoinArguments, SplitGivesTheSameWordsBack)
{
    const Words words = {
        "plain", "", " ", "a b", "\t", "\"", "\"\"", "\\", "\\\\", "a\\", "a\\\\", "a\\\"b",
        "\\\"", "\\\\\"", "x\"\"y", "end\\ ", "\"quoted\"", "/silent", "multi\nline",
        "\xc3\xa9t\xc3\xa9 \xe2\x82\xac", std::string(5000, 'z') + " \\\"" + std::string(5000, '\\'),
    };
    std::vector<const char*> argv = {"pkgrunner"};
    for (const std::string& word : words) {
        argv.push_back(word.c_str());
    }
    EXPECT_EQ(SplitCommandLine(JoinArguments(static_cast<int>(argv.size()), argv.data())), words);
    for (const std::string& word : words) {
        EXPECT_EQ(SplitCommandLine(QuoteArgument(word)), Words{word}) << "word: " << word;
    }
}

TEST(ChildCommandLine, HasTheLaunchersForms)
{
    EXPECT_EQ(ChildCommandLine(kPackagePass, "qx001234.exe", "/silent"), "qx001234.exe /silent");
    EXPECT_EQ(ChildCommandLine(kPackagePass, "qx001234.exe", ""), "qx001234.exe ");
    EXPECT_EQ(ChildCommandLine(kAnswerFilePass, "a.ini", "/silent"), "deployer.exe /silent /a a.ini");
    EXPECT_EQ(ChildCommandLine(kAnswerFilePass, "a.ini", ""), "deployer.exe  /a a.ini");
    EXPECT_EQ(ChildCommandLine(kPackagePass, "qx0 a.exe", "-x"), "\"qx0 a.exe\" -x");
    EXPECT_EQ(ChildCommandLine(kAnswerFilePass, "my \"a\".ini", ""), "deployer.exe  /a \"my \\\"a\\\".ini\"");
    const std::string longArguments(4000, 'a');
    EXPECT_EQ(ChildCommandLine(kAnswerFilePass, "b.ini", longArguments), "deployer.exe " + longArguments + " /a b.ini");
    EXPECT_STREQ(PassPattern(kPackagePass), "qx0*.exe");
    EXPECT_STREQ(PassPattern(kAnswerFilePass), "*.ini");
}

} // namespace
