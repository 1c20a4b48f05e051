// The credentials file: what it lists, and the files and lines it refuses.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <string>

#include "security/usm_users.h"
#include "test_processes.h"

namespace {

struct Lookup {
    bool ok;
    UsmUser user;
    std::string problem;
};

Lookup Find(const std::string& path, const std::string& name)
{
    Lookup result;
    result.ok = FindUser(path, name, result.user, result.problem);
    return result;
}

TEST(UsmUsers, LinesGiveTheUsersLevelAndPassphrases)
{
    testsupport::TempDir dir;
    const std::string path =
        dir.Write("users", "# comment\n"
                           "\n"
                           "  alice md5 alicepass\r\n"
                           "Bob SHA-256 \"my auth phrase\" aes-256 \"my priv # phrase\"\n"
                           "carol\n");
    chmod(path.c_str(), 0600);
    Lookup bob = Find(path, "bob");
    ASSERT_TRUE(bob.ok) << bob.problem;
    EXPECT_EQ(bob.user.name, "Bob");
    EXPECT_EQ(bob.user.auth, AuthProtocol::Sha256);
    EXPECT_EQ(bob.user.authPassphrase, "my auth phrase");
    EXPECT_EQ(bob.user.priv, PrivProtocol::Aes256);
    EXPECT_EQ(bob.user.privPassphrase, "my priv # phrase");
    Lookup alice = Find(path, "ALICE");
    ASSERT_TRUE(alice.ok);
    EXPECT_EQ(alice.user.auth, AuthProtocol::Md5);
    EXPECT_EQ(alice.user.authPassphrase, "alicepass");
    EXPECT_EQ(alice.user.priv, PrivProtocol::None);
    Lookup carol = Find(path, "carol");
    ASSERT_TRUE(carol.ok);
    EXPECT_EQ(carol.user.auth, AuthProtocol::None);
}

// A missing file lists no one, and a FIFO in its place does not hold the process.
TEST(UsmUsers, MissingFilesAndFifosAreRefused)
{
    testsupport::TempDir dir;
    Lookup missing = Find(dir.Path() + "/absent", "bob");
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.problem, dir.Path() + "/absent: No such file or directory");
    const std::string fifo = dir.Path() + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    Lookup piped = Find(fifo, "bob");
    EXPECT_FALSE(piped.ok);
    EXPECT_EQ(piped.problem, fifo + ": not a regular file");
}

TEST(UsmUsers, BadLinesAreRefusedWithTheirNumber)
{
    struct Case {
        const char* text;
        const char* problem;
    } cases[] = {
        {"ok\nbob SHA\n", "line 2: a protocol needs its passphrase"},
        {"bob SHA \"unclosed phrase\n", "line 1: a quote is not closed"},
        {"bob SHA \"a phrase\"x\n", "line 1: a closing quote must end its word"},
        {"bob secretpassphrase SHA x\n", "line 1: a protocol needs its passphrase"},
        {"bob secretpassphrase other\n", "line 1: the second word is not an authentication"},
        {"\n\nbob SHA authphrase 3DES privphrase\n", "line 3: the fourth word is not a privacy"},
        {"bob SHA shortpw\n", "line 1: a passphrase needs at least 8 characters"},
        {"bob SHA authphrase AES short\n", "line 1: a passphrase needs at least 8 characters"},
        {"bob SHA a b c d\n", "line 1: too many words"},
        {"bob engines=8000000001,80zz000001\n", "line 1: an engine ID is 5 to 32 bytes in hex"},
        {"bob\n#\nBOB\n", "line 3: BOB is listed on line 1 already"},
        {"bob\n\"\" SHA authphrase\n", "line 2: a user needs a name"},
    };
    testsupport::TempDir dir;
    for (const Case& c : cases) {
        const std::string path = dir.Write("users", c.text);
        chmod(path.c_str(), 0600);
        Lookup bob = Find(path, "bob");
        EXPECT_FALSE(bob.ok) << c.text;
        EXPECT_EQ(bob.problem.rfind(path + " " + c.problem, 0), 0u) << bob.problem;
        EXPECT_EQ(bob.user.authPassphrase, "");
        EXPECT_EQ(bob.problem.find("secretpassphrase"), std::string::npos);
    }
}

TEST(UsmUsers, FilesOthersCouldReadOrChangeAreRefused)
{
    testsupport::TempDir dir;
    const std::string path = dir.Write("users", "bob SHA authphrase\n");
    for (mode_t mode : {0640, 0620, 0604, 0602}) {
        chmod(path.c_str(), mode);
        Lookup bob = Find(path, "bob");
        EXPECT_FALSE(bob.ok) << mode;
        EXPECT_EQ(bob.problem, path + ": others can read or write it; make it private (chmod 600)");
    }
    EXPECT_FALSE(Find(dir.Path(), "bob").ok);
    Lookup below = Find(path + "/users", "bob");
    EXPECT_FALSE(below.ok);
    EXPECT_EQ(below.problem, path + "/users: Not a directory");
}

TEST(UsmUsers, ThePathFollowsTheEnvironment)
{
    setenv("MIBCLI_USERS", "/x/users", 1);
    setenv("XDG_CONFIG_HOME", "/config", 1);
    setenv("HOME", "/home/me", 1);
    EXPECT_EQ(UsersFilePath(), "/x/users");
    unsetenv("MIBCLI_USERS");
    EXPECT_EQ(UsersFilePath(), "/config/mibcli/users");
    setenv("XDG_CONFIG_HOME", "", 1);
    EXPECT_EQ(UsersFilePath(), "/home/me/.config/mibcli/users");
}

}  // namespace
