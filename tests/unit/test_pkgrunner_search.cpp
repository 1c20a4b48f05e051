// File search: the wildcard rule, the order of matches, and directories among them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/file_search.h"
#include "platform/last_error_code.h"
#include "test_pkgrunner_scratch.h"

namespace {

using namespace pkgrunner;

struct MatchCase {
    const char* pattern;
    const char* name;
    bool matches;
};

TEST(WildcardMatch, StarQuestionMarkAndCase)
{
    const MatchCase cases[] = {
        {"qx0*.exe", "qx012.exe", true},
        {"qx0*.exe", "QX012.EXE", true},
        {"qx0*.exe", "Qx0a.b.Exe", true},
        {"qx0*.exe", "qx0.exe.bak", false},
        {"qx0*.exe", "aqx0.exe", false},
        {"*.ini", ".ini", true},
        {"*.ini", "a.ini.ini", true},
        {"*.ini", "a.inix", false},
        {"a?c", "ac", false},
        {"*a*b*", "xaxxbx", true},
        {"*a*b", "xaxxbx", false},
        {"**", "", true},
        {"", "a", false},
        {"\xc3\x89*", "\xc3\x89t\xc3\xa9", true},
    };
    for (const MatchCase& row : cases) {
        EXPECT_EQ(WildcardMatch(row.pattern, row.name), row.matches)
            << row.pattern << " against " << row.name;
    }
}

// Gathers every name of a search, in the order it yields them.
std::vector<std::string> SearchAll(const std::string& pattern, DWORD* lastError)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        *lastError = GetLastError();
        return names;
    }
    do {
        names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    *lastError = GetLastError();
    EXPECT_TRUE(FindClose(search));
    return names;
}

TEST(FindFirstFileA, YieldsMatchesInFoldedOrderWithDirectories)
{
    pkgtest::ScratchDir dir;
    for (const char* name : {"qx0b.exe", "QX0A.EXE", "qx0C.exe", "qx0a.exe", "other.exe", "qx0b.exe.bak"}) {
        pkgtest::WriteFile(dir.At(name), "", false);
    }
    ASSERT_EQ(mkdir(dir.At("Qx0Dir.Exe").c_str(), 0755), 0);

    DWORD lastError = 0;
    const std::vector<std::string> expected = {"QX0A.EXE", "qx0a.exe", "qx0b.exe", "qx0C.exe", "Qx0Dir.Exe"};
    EXPECT_EQ(SearchAll(dir.path + "/qx0*.exe", &lastError), expected);
    EXPECT_EQ(lastError, ERROR_NO_MORE_FILES);

    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir.path + "/qx0d*").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_EQ(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY);
    FindClose(search);
}

TEST(FindFirstFileA, NothingToYield)
{
    pkgtest::ScratchDir dir;
    DWORD lastError = 0;
    EXPECT_TRUE(SearchAll(dir.path + "/*.ini", &lastError).empty());
    EXPECT_EQ(lastError, ERROR_FILE_NOT_FOUND);
    // The directory's own entries are never matches, even for a pattern that takes anything.
    EXPECT_TRUE(SearchAll(dir.path + "/*", &lastError).empty());
    EXPECT_TRUE(SearchAll(dir.path + "/missing/*.ini", &lastError).empty());
    EXPECT_EQ(lastError, ERROR_FILE_NOT_FOUND);
}

} // namespace
