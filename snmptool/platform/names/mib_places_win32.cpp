// Where module files and the index live on Windows: MIBCLI_MIBDIRS is a list
// separated by ";" as PATH is; without it, a "mibs" folder beside the
// program. The index goes to the user's local application data.
#include <windows.h>

#include <cstdlib>
#include <fstream>

#include "names/mib_modules.h"

namespace {

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string ProgramFolder()
{
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return "";
    }
    std::string text(path, length);
    const size_t slash = text.find_last_of("\\/");
    return slash == std::string::npos ? "" : text.substr(0, slash);
}

}  // namespace

std::vector<std::string> MibSearchDirectories()
{
    std::vector<std::string> dirs;
    const char* listed = std::getenv("MIBCLI_MIBDIRS");
    if (listed == nullptr) {
        const std::string program = ProgramFolder();
        if (!program.empty()) {
            dirs.push_back(program + "\\mibs");
        }
        return dirs;
    }
    return MibSplitPathList(listed, ';');
}

void MibListDirectory(const std::string& dir, size_t limit, std::vector<MibFileStamp>& files)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    // The search record gives both the size and the time of each file.
    do {
        if (found.cFileName[0] == '.' || files.size() >= limit ||
            (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            continue;
        }
        const uint64_t size = (uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow;
        const int64_t mtime =
            static_cast<int64_t>((uint64_t{found.ftLastWriteTime.dwHighDateTime} << 32) |
                                 found.ftLastWriteTime.dwLowDateTime);
        files.push_back(MibFileStamp{dir + "\\" + found.cFileName, size, mtime});
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

std::string MibCacheDirectory()
{
    const std::string base = Environment("LOCALAPPDATA");
    return base.empty() ? "" : base + "\\mibcli\\cache";
}

MibFileBytes::MibFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : 0;
    if (size <= 0) {
        return;
    }
    // Not zero-filled first: every byte is read over at once.
    read_.reset(new char[static_cast<size_t>(size)]);
    in.seekg(0);
    if (in.read(read_.get(), static_cast<std::streamsize>(size))) {
        data_ = read_.get();
        size_ = static_cast<size_t>(size);
    }
}

MibFileBytes::~MibFileBytes() = default;
