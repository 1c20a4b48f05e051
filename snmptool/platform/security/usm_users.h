// The users a manager knows: one line each in a credentials file that only
// its owner may read, so that passphrases never appear on a command line.
//
//   # name  [auth-protocol "auth passphrase" [priv-protocol "priv passphrase"]]
//   #       [engines=HEX,HEX...]
//   bob SHA-256 "my auth phrase" AES-256 "my priv phrase"
//
// The engines, when given, are the only ones whose notifications are taken
// for the user.
// Words are separated by blanks; a passphrase with blanks goes in double
// quotes. Names are compared without regard to case. A line with the name
// alone is a user without authentication or privacy; a user without a line
// is refused.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "security/usm_keys.h"

struct UsmUser {
    std::string name;
    AuthProtocol auth = AuthProtocol::None;
    std::string authPassphrase;
    PrivProtocol priv = PrivProtocol::None;
    std::string privPassphrase;
    std::vector<std::vector<uint8_t>> engines;

    UsmUser() = default;
    UsmUser(const UsmUser&) = delete;
    UsmUser& operator=(const UsmUser&) = delete;
    UsmUser(UsmUser&& other) noexcept;
    UsmUser& operator=(UsmUser&& other) noexcept;
    ~UsmUser();
    // A copy of its own, to be wiped apart (copying is otherwise refused, so
    // that no passphrase is copied by accident).
    UsmUser Copy() const;
    void Wipe();  // wipes the passphrases and forgets the protocols
};

// Where the file is: MIBCLI_USERS when set and not empty, else
// $XDG_CONFIG_HOME/mibcli/users, else $HOME/.config/mibcli/users. Empty when
// none of these variables is set.
std::string UsersFilePath();

// Looks `name` up in the file at `path`, filling `user` with its name as the
// file spells it (agents compare names exactly) and its protocols. False,
// with a one-line `problem` naming the file (and the line), for a name the
// file does not list, a file that is missing or cannot be read, one that is
// not a regular file, that others than its owner can read or write or that
// another user owns, and a line that does not parse; every line is checked,
// not only the one asked for.
bool FindUser(const std::string& path, const std::string& name, UsmUser& user,
              std::string& problem);
enum class UsersFile { Read, Missing, Refused };
// Every user of the file; a file refused as FindUser refuses it.
UsersFile LoadUsers(const std::string& path, std::vector<UsmUser>& users, std::string& problem);
