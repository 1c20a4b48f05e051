#include "file_search.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>

#include "last_error_code.h"

namespace pkgrunner {

namespace {

struct SearchRecord {
    std::string directory;  // with its trailing slash, or empty for the current directory
    std::vector<std::string> names;
    std::size_t next;
};

char FoldCase(char c)
{
    if (c >= 'A' && c <= 'Z') {
        return static_cast<char>(c - 'A' + 'a');
    }
    return c;
}

// Fills the record from the stored name; the name is at most NAME_MAX (255) bytes on this
// system, so it always fits the 260-character field with its terminator.
BOOL FillFound(const SearchRecord& search, const std::string& name, WIN32_FIND_DATAA* found)
{
    std::memset(found, 0, sizeof(*found));
    if (name.size() >= sizeof(found->cFileName)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return FALSE;
    }
    std::memcpy(found->cFileName, name.c_str(), name.size() + 1);

    struct stat info;
    const std::string path = search.directory + name;
    if (stat(path.c_str(), &info) != 0) {
        // A dangling link or a file removed since the listing is still a match by name.
        found->dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
        return TRUE;
    }
    found->dwFileAttributes =
        S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    const std::uint64_t size = static_cast<std::uint64_t>(info.st_size);
    found->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    found->nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
    return TRUE;
}

}  // namespace

bool WildcardMatch(const std::string& pattern, const std::string& name)
{
    // Greedy matching with one backtrack point: the last star seen and where the name stood.
    std::size_t p = 0;
    std::size_t n = 0;
    std::size_t starAt = std::string::npos;
    std::size_t resumeAt = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starAt = p++;
            resumeAt = n;
            continue;
        }
        if (p < pattern.size() &&
            (pattern[p] == '?' || FoldCase(pattern[p]) == FoldCase(name[n]))) {
            ++p;
            ++n;
            continue;
        }
        if (starAt == std::string::npos) {
            return false;
        }
        p = starAt + 1;
        n = ++resumeAt;
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

bool SearchOrderBefore(const std::string& left, const std::string& right)
{
    const std::size_t common = std::min(left.size(), right.size());
    for (std::size_t i = 0; i < common; ++i) {
        const unsigned char a = static_cast<unsigned char>(FoldCase(left[i]));
        const unsigned char b = static_cast<unsigned char>(FoldCase(right[i]));
        if (a != b) {
            return a < b;
        }
    }
    if (left.size() != right.size()) {
        return left.size() < right.size();
    }
    return left < right;
}

HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* found)
{
    if (pattern == nullptr || found == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const std::string text = pattern;
    const std::size_t slash = text.rfind('/');
    std::string directory;
    std::string namePattern = text;
    if (slash != std::string::npos) {
        directory = text.substr(0, slash + 1);
        namePattern = text.substr(slash + 1);
    }

    DIR* listing = opendir(directory.empty() ? "." : directory.c_str());
    if (listing == nullptr) {
        SetLastError(ErrorFromErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    std::vector<std::string> names;
    while (true) {
        errno = 0;
        const dirent* entry = readdir(listing);
        if (entry == nullptr) {
            break;
        }
        const std::string name = entry->d_name;
        // The entries for the directory itself and its parent are not files of the directory.
        if (name == "." || name == "..") {
            continue;
        }
        if (WildcardMatch(namePattern, name)) {
            names.push_back(name);
        }
    }
    const int readError = errno;
    closedir(listing);
    if (readError != 0) {
        SetLastError(ErrorFromErrno(readError));
        return INVALID_HANDLE_VALUE;
    }
    if (names.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::sort(names.begin(), names.end(), SearchOrderBefore);

    SearchRecord* search = new SearchRecord{directory, std::move(names), 0};
    if (!FindNextFileA(search, found)) {
        delete search;
        return INVALID_HANDLE_VALUE;
    }
    return search;
}

BOOL FindNextFileA(HANDLE search, WIN32_FIND_DATAA* found)
{
    if (search == nullptr || search == INVALID_HANDLE_VALUE || found == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    SearchRecord* record = static_cast<SearchRecord*>(search);
    if (record->next >= record->names.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    const std::string& name = record->names[record->next];
    ++record->next;
    return FillFound(*record, name, found);
}

BOOL FindClose(HANDLE search)
{
    if (search == nullptr || search == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    delete static_cast<SearchRecord*>(search);
    return TRUE;
}

}  // namespace pkgrunner
