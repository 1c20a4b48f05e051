// The command file reader: separators, quotes, comments, text-mode line ends,
// Ctrl+Z, and the files that give no words.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_processes.h"
#include "tool.h"

namespace {

struct ReadResult {
    int result;
    int count;
    std::vector<std::string> words;
    bool arrayNull;
};

ReadResult ReadFileNamed(const std::string& path)
{
    ReadResult read{};
    char** words = reinterpret_cast<char**>(0x1);
    read.count = -5;
    read.result = ReadCommandFile(path.c_str(), &read.count, &words);
    read.arrayNull = (words == nullptr);
    if (read.result > 0) {
        for (int i = 0; i < read.result; ++i) {
            read.words.emplace_back(words[i]);
            SnmpUtilMemFree(words[i]);
        }
        SnmpUtilMemFree(words);
    }
    return read;
}

ReadResult ReadText(const std::string& bytes)
{
    testsupport::TempDir dir;
    return ReadFileNamed(dir.Write("commands.txt", bytes));
}

using Words = std::vector<std::string>;

void ExpectWords(const std::string& bytes, const Words& expected)
{
    const ReadResult read = ReadText(bytes);
    EXPECT_EQ(read.result, static_cast<int>(expected.size())) << testing::PrintToString(bytes);
    EXPECT_EQ(read.count, static_cast<int>(expected.size())) << testing::PrintToString(bytes);
    EXPECT_EQ(read.words, expected) << testing::PrintToString(bytes);
}

void ExpectNoWords(const std::string& bytes)
{
    const ReadResult read = ReadText(bytes);
    EXPECT_EQ(read.result, 0) << testing::PrintToString(bytes);
    EXPECT_EQ(read.count, 0) << testing::PrintToString(bytes);
    EXPECT_TRUE(read.arrayNull) << testing::PrintToString(bytes);
}

TEST(ReadCommandFile, SpacesAndLineEndsSeparateWords)
{
    const Words get = {"get", "127.0.0.1:16161", "public", "1.3.6.1.2.1.1.1.0"};
    ExpectWords("get 127.0.0.1:16161 public 1.3.6.1.2.1.1.1.0\n", get);
    ExpectWords("get\n127.0.0.1:16161\npublic\n1.3.6.1.2.1.1.1.0\n", get);
    ExpectWords("  get   127.0.0.1:16161\n\n\n public 1.3.6.1.2.1.1.1.0  \n\n", get);
    // The last word needs no separator after it.
    ExpectWords("get 127.0.0.1:16161 public 1.3.6.1.2.1.1.1.0", get);
    // A tab is no separator.
    ExpectWords("a\tb c\n", {"a\tb", "c"});
}

TEST(ReadCommandFile, TextModeLineEnds)
{
    ExpectWords("get\r\nagent public\r\noid\r\n", {"get", "agent", "public", "oid"});
    // A carriage return on its own is part of the word.
    ExpectWords("a\rb c\r", {"a\rb", "c\r"});
    ExpectWords("a\r\r\nb", {"a\r", "b"});
    // Ctrl+Z ends the file, also in the middle of a word.
    ExpectWords("a b\x1a c d\n", {"a", "b"});
    ExpectWords("ab\x1a" "cd\n", {"ab"});
    ExpectWords("a\r\x1a" "b", {"a\r"});
}

TEST(ReadCommandFile, QuotesStayInTheWordAndHoldSpaces)
{
    ExpectWords("set a \"my community\" x 2 \"two words\"\n",
                {"set", "a", "\"my community\"", "x", "2", "\"two words\""});
    ExpectWords("pre\"fix a\"post b\n", {"pre\"fix a\"post", "b"});
    // A quote left open ends with its line; the next line starts outside quotes.
    ExpectWords("\"open a\nb c\n", {"\"open a", "b", "c"});
    ExpectWords("\"\" x\n", {"\"\"", "x"});
}

TEST(ReadCommandFile, CommentsDropTheRestOfTheirLine)
{
    ExpectWords("; the agent we test\nget a\n", {"get", "a"});
    ExpectWords(";alone\nnext line\n", {"next", "line"});
    ExpectWords("a b ;c d\ne\n", {"a", "b", "e"});
    ExpectWords("a;b \";x\" c\n", {"a;b", "\";x\"", "c"});
    // A comment word that its line end closes drops nothing of the next line,
    // also when it opened a quote.
    ExpectWords(";\"open\nb\n", {"b"});
    // A quoted space belongs to the comment word; the rest of the line goes.
    ExpectWords(";\"a b\" c\nd\n", {"d"});
    ExpectWords("a ; comment to the end", {"a"});
    ExpectWords("a ; comment\r\nb\r\n", {"a", "b"});
}

TEST(ReadCommandFile, LongWordsAndManyWordsAreKeptWhole)
{
    const std::string longWord(5000, 'q');
    const std::string longOid = "1.3.6.1.4.1." + std::string(200, '7') + ".0";
    ExpectWords("x " + longWord + " " + longOid + "\n", {"x", longWord, longOid});

    std::string bytes;
    Words many;
    for (int i = 0; i < 3000; ++i) {
        many.push_back("w" + std::to_string(i));
        bytes += many.back() + (i % 7 == 0 ? "\n" : " ");
    }
    ExpectWords(bytes, many);
}

TEST(ReadCommandFile, FilesWithoutWordsGiveZero)
{
    ExpectNoWords("");
    ExpectNoWords("\n\n  \n\r\n");
    ExpectNoWords("; only a comment\n;another\n   ; indented one\n");
    ExpectNoWords("\x1a get a b c\n");

    const ReadResult missing = ReadFileNamed("/nonexistent-dir/commands.txt");
    EXPECT_EQ(missing.result, 0);
    EXPECT_EQ(missing.count, 0);
    const ReadResult emptyName = ReadFileNamed("");
    EXPECT_EQ(emptyName.result, 0);

    int count = 3;
    char** words = nullptr;
    EXPECT_EQ(ReadCommandFile(nullptr, &count, &words), 0);
    EXPECT_EQ(ReadCommandFile("x", nullptr, &words), 0);
    EXPECT_EQ(ReadCommandFile("x", &count, nullptr), 0);
}

TEST(ReadCommandFile, DirectoryReadsAsNoWords)
{
    // A directory opens but fails every read: the reading ends there.
    testsupport::TempDir dir;
    const ReadResult read = ReadFileNamed(dir.Path());
    EXPECT_EQ(read.result, 0);
    EXPECT_EQ(read.count, 0);
}

}  // namespace
