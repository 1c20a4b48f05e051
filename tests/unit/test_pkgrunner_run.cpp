// The launcher end to end: the built program run in a scratch directory of package scripts,
// each case one row of files, arguments and what must come out.
#include <gtest/gtest.h>

#include <chrono>
#include <ostream>
#include <string>
#include <vector>

#include "test_pkgrunner_scratch.h"

namespace {

using pkgtest::ScratchDir;

const std::string kLongWord(3000, 'w');

struct RunCase {
    const char* name;
    std::vector<std::string> scripts;     // executables that log their start, arguments and end
    std::vector<std::string> plainFiles;  // answer files and files that are no programs
    std::vector<std::string> directories;
    std::vector<std::string> arguments;
    std::vector<std::string> log;  // the lines the children wrote, in order
    std::string err;
    int status;
};

// A failing row names itself rather than dumping its bytes.
void PrintTo(const RunCase& row, std::ostream* out)
{
    *out << row.name;
}

std::string Lines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    return text;
}

const std::vector<std::string> kPackageSet = {"qx001234.exe", "qx005678.exe", "deployer.exe"};
const std::vector<std::string> kAnswers = {"a.ini", "b.ini"};
const char* const kNoSetupTool = "Error: Unable to start a.ini\nError: Unable to start b.ini\n";

const RunCase kCases[] = {
    {"ControlCharactersOfTheErrorLineAreMasked",
     {},
     {"a\x1b[2J.ini", "b\xc2\x9b.ini", "c\x9b.ini", "d\xc3\xa9.ini"},
     {},
     {},
     {},
     "Error: Unable to start a?[2J.ini\nError: Unable to start b?.ini\n"
     "Error: Unable to start c?.ini\nError: Unable to start d\xc3\xa9.ini\n",
     0},
    {"FourChildrenInOrderWithSilent",
     kPackageSet,
     kAnswers,
     {},
     {"/silent"},
     {"start qx001234.exe [/silent]", "end qx001234.exe", "start qx005678.exe [/silent]",
      "end qx005678.exe", "start deployer.exe [/silent] [/a] [a.ini]", "end deployer.exe",
      "start deployer.exe [/silent] [/a] [b.ini]", "end deployer.exe"},
     "",
     0},
    {"NoArgumentsGiveNoExtraWords",
     kPackageSet,
     kAnswers,
     {},
     {},
     {"start qx001234.exe", "end qx001234.exe", "start qx005678.exe", "end qx005678.exe",
      "start deployer.exe [/a] [a.ini]", "end deployer.exe", "start deployer.exe [/a] [b.ini]",
      "end deployer.exe"},
     "",
     0},
    {"NamesMatchWithoutRegardToCaseInFoldedOrder",
     {"Qx0def.Exe", "QX0ABC.EXE", "qx1abc.exe", "aqx0.exe", "deployer.exe"},
     {"c.Ini", "B.INI", "a.ini", "a.ini.bak"},
     {},
     {},
     {"start QX0ABC.EXE", "end QX0ABC.EXE", "start Qx0def.Exe", "end Qx0def.Exe",
      "start deployer.exe [/a] [a.ini]", "end deployer.exe", "start deployer.exe [/a] [B.INI]",
      "end deployer.exe", "start deployer.exe [/a] [c.Ini]", "end deployer.exe"},
     "",
     0},
    {"MatchingDirectoryFailsToStartAndTheRunGoesOn",
     {"qx0zzz.exe"},
     {},
     {"qx0dir.exe"},
     {},
     {"start qx0zzz.exe", "end qx0zzz.exe"},
     "Error: Unable to start qx0dir.exe\n",
     0},
    {"MatchingDirectoryIsQuietWithSilent",
     {"qx0zzz.exe"},
     {},
     {"qx0dir.exe"},
     {"/silent"},
     {"start qx0zzz.exe [/silent]", "end qx0zzz.exe"},
     "",
     0},
    {"NoSetupToolOneErrorPerAnswerFile", {}, kAnswers, {}, {}, {}, kNoSetupTool, 0},
    {"NoSetupToolSilent", {}, kAnswers, {}, {"/silent"}, {}, "", 0},
    {"NoSetupToolSilentAsTailOfLastWord", {}, kAnswers, {}, {"-q", "x/silent"}, {}, "", 0},
    {"NoSetupToolCapitalsAreNotSilent", {}, kAnswers, {}, {"/SILENT"}, {}, kNoSetupTool, 0},
    {"NoSetupToolTrailingBlankIsNotSilent", {}, kAnswers, {}, {"/silent "}, {}, kNoSetupTool, 0},
    {"NoSetupToolSilentInTheMiddleIsNotSilent",
     {},
     kAnswers,
     {},
     {"/silent", "-v"},
     {},
     kNoSetupTool,
     0},
    {"ArgumentsReachEveryChildIntact",
     {"qx0a.exe", "deployer.exe"},
     {"a.ini"},
     {},
     {"two words", "say \"hi\"", "", "back\\slash\\", "\\\"", "tab\there", kLongWord},
     {"start qx0a.exe [two words] [say \"hi\"] [] [back\\slash\\] [\\\"] [tab\there] [" +
          kLongWord + "]",
      "end qx0a.exe",
      "start deployer.exe [two words] [say \"hi\"] [] [back\\slash\\] [\\\"] [tab\there] [" +
          kLongWord + "] [/a] [a.ini]",
      "end deployer.exe"},
     "",
     0},
    {"NamesWithBlanksStayOneWord",
     {"qx0 two words.exe", "deployer.exe"},
     {"my answers.ini"},
     {},
     {"-x"},
     {"start qx0 two words.exe [-x]", "end qx0 two words.exe",
      "start deployer.exe [-x] [/a] [my answers.ini]", "end deployer.exe"},
     "",
     0},
    {"FileThatIsNoProgramFailsToStart",
     {"qx0b.exe"},
     {"qx0a.exe"},
     {},
     {},
     {"start qx0b.exe", "end qx0b.exe"},
     "Error: Unable to start qx0a.exe\n",
     0},
    {"EmptyDirectoryStartsNothing", {}, {}, {}, {}, {}, "", 0},
};

class RunPackagesEndToEnd : public testing::TestWithParam<RunCase> {};

TEST_P(RunPackagesEndToEnd, ChildrenLogAndMessages)
{
    const RunCase& row = GetParam();
    ScratchDir dir;
    ASSERT_FALSE(dir.path.empty());
    const std::string log = dir.At("log");
    for (const std::string& name : row.scripts) {
        pkgtest::WriteFile(dir.At(name), pkgtest::LoggingScript(name, log), true);
    }
    for (const std::string& name : row.plainFiles) {
        // Executable text without an interpreter line: no format this system runs.
        pkgtest::WriteFile(dir.At(name), "not a program\n", true);
    }
    for (const std::string& name : row.directories) {
        ASSERT_EQ(mkdir(dir.At(name).c_str(), 0755), 0);
    }
    std::vector<std::string> argv = {PKGRUNNER_PATH};
    argv.insert(argv.end(), row.arguments.begin(), row.arguments.end());

    const pid_t pid = pkgtest::StartIn(dir, argv);
    ASSERT_GT(pid, 0);
    const pkgtest::RunResult result = pkgtest::Finish(dir, pid, 20000);

    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.status, row.status);
    EXPECT_EQ(pkgtest::ReadFile(log), Lines(row.log));
    EXPECT_EQ(result.err, row.err);
    EXPECT_EQ(result.out, "");
}

INSTANTIATE_TEST_SUITE_P(Cases, RunPackagesEndToEnd, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<RunCase>& info) {
                             return std::string(info.param.name);
                         });

// Nobody reads the error line any more: the run still goes on to the next package.
TEST(RunPackagesEndToEnd, ErrorLineToAClosedPipeDoesNotEndTheRun)
{
    ScratchDir dir;
    const std::string log = dir.At("log");
    ASSERT_EQ(mkdir(dir.At("qx0a.exe").c_str(), 0755), 0);
    pkgtest::WriteFile(dir.At("qx0b.exe"), pkgtest::LoggingScript("qx0b.exe", log), true);
    int ends[2];
    ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
    close(ends[0]);
    const pid_t pid = pkgtest::StartIn(dir, {PKGRUNNER_PATH}, ends[1]);
    close(ends[1]);
    ASSERT_GT(pid, 0);
    const pkgtest::RunResult result = pkgtest::Finish(dir, pid, 20000);
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(pkgtest::ReadFile(log), "start qx0b.exe\nend qx0b.exe\n");
}

struct StopCase {
    const char* name;
    int signal;
    int status;
};

void PrintTo(const StopCase& row, std::ostream* out)
{
    *out << row.name;
}

class StopWhileChildRuns : public testing::TestWithParam<StopCase> {};

// The first package tells the test it runs (its number through a pipe) and then stays; the stop
// request must end the launcher at once with 128 + the signal's number, with nothing more
// started and the package left running, as a child whose launcher was stopped is.
TEST_P(StopWhileChildRuns, ExitsAtOnceAndStartsNothingMore)
{
    const StopCase& row = GetParam();
    ScratchDir dir;
    const std::string log = dir.At("log");
    const std::string ready = dir.At("ready");
    ASSERT_EQ(mkfifo(ready.c_str(), 0600), 0);
    const int readyEnd = open(ready.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(readyEnd, 0);
    pkgtest::WriteFile(dir.At("qx001.exe"),
                       "#!/bin/sh\nprintf 'start qx001.exe\\n' >> '" + log + "'\necho $$ > '" +
                           ready + "'\nexec sleep 30\n",
                       true);
    pkgtest::WriteFile(dir.At("qx002.exe"), pkgtest::LoggingScript("qx002.exe", log), true);
    pkgtest::WriteFile(dir.At("deployer.exe"), pkgtest::LoggingScript("deployer.exe", log), true);
    pkgtest::WriteFile(dir.At("a.ini"), "", false);

    const pid_t launcher = pkgtest::StartIn(dir, {PKGRUNNER_PATH, "/silent"});
    ASSERT_GT(launcher, 0);
    pollfd watch = {readyEnd, POLLIN, 0};
    const bool started = poll(&watch, 1, 10000) == 1;
    char text[32] = {};
    const ssize_t got = started ? read(readyEnd, text, sizeof(text) - 1) : -1;
    close(readyEnd);
    const pid_t package = got > 0 ? static_cast<pid_t>(std::stol(text)) : -1;

    const auto stopAt = std::chrono::steady_clock::now();
    kill(launcher, row.signal);
    const pkgtest::RunResult result = pkgtest::Finish(dir, launcher, 5000);
    const auto took = std::chrono::steady_clock::now() - stopAt;
    // Only a number the package itself reported is ever signalled.
    const bool packageStillRuns = package > 1 && kill(package, 0) == 0;
    if (package > 1) {
        kill(package, SIGKILL);
    }

    ASSERT_TRUE(started);
    ASSERT_TRUE(result.finished);
    EXPECT_EQ(result.status, row.status);
    EXPECT_LT(took, std::chrono::seconds(2));
    EXPECT_TRUE(packageStillRuns);
    EXPECT_EQ(pkgtest::ReadFile(log), "start qx001.exe\n");
    EXPECT_EQ(result.err, "");
}

INSTANTIATE_TEST_SUITE_P(Signals, StopWhileChildRuns,
                         testing::Values(StopCase{"Terminate", SIGTERM, 143},
                                         StopCase{"Interrupt", SIGINT, 130},
                                         StopCase{"HangUp", SIGHUP, 129}),
                         [](const testing::TestParamInfo<StopCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
