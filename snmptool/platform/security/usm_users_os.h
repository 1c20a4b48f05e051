// The system's part of the credentials file (usm_users_posix.cpp, usm_users_win32.cpp).
#pragma once

#include <string>
#include <vector>

// Reads the whole file, refusing one that is not a regular file, that others
// may read or write or that another user owns. False with a one-line
// `problem` naming the file, and `missing` set when there is no file at all.
bool ReadPrivateFile(const std::string& path, std::vector<char>& bytes, bool& missing,
                     std::string& problem);

// Where the users file is when MIBCLI_USERS does not say: the user's
// configuration folder; empty when there is none.
std::string DefaultUsersFilePath();
