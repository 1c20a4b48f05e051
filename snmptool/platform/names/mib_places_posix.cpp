// Where module files and the index live on a POSIX system: MIBCLI_MIBDIRS is
// a list separated by ":" as PATH is; without it, the system's and the user's
// module directories. The index goes to the XDG cache directory.
#include "names/mib_modules.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace {

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

}  // namespace

std::vector<std::string> MibSearchDirectories()
{
    std::vector<std::string> dirs;
    const char* listed = std::getenv("MIBCLI_MIBDIRS");
    if (listed == nullptr) {
        dirs.push_back("/usr/share/snmp/mibs");
        std::string home = Environment("HOME");
        if (!home.empty()) {
            dirs.push_back(home + "/.snmp/mibs");
        }
        return dirs;
    }
    return MibSplitPathList(listed, ':');
}

void MibListDirectory(const std::string& dir, size_t limit, std::vector<MibFileStamp>& files)
{
    DIR* listing = opendir(dir.c_str());
    if (listing == nullptr) {
        return;
    }
    // One stat a file gives both its size and its time.
    while (const dirent* entry = readdir(listing)) {
        if (entry->d_name[0] == '.' || files.size() >= limit) {
            continue;
        }
        // Relative to the open directory: the kernel does not walk the
        // directory's own path again for every file.
        struct stat about {};
        if (fstatat(dirfd(listing), entry->d_name, &about, 0) != 0 || !S_ISREG(about.st_mode)) {
            continue;
        }
        std::string path = dir + "/" + entry->d_name;
        int64_t mtime = int64_t{about.st_mtim.tv_sec} * 1000000000 + about.st_mtim.tv_nsec;
        files.push_back(MibFileStamp{std::move(path), static_cast<uint64_t>(about.st_size), mtime});
    }
    closedir(listing);
}

std::string MibCacheDirectory()
{
    std::string base = Environment("XDG_CACHE_HOME");
    if (base.empty() || base[0] != '/') {
        std::string home = Environment("HOME");
        if (home.empty()) {
            return "";
        }
        base = home + "/.cache";
    }
    return base + "/mibcli";
}

MibFileBytes::MibFileBytes(const std::string& path)
{
    int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        return;
    }
    struct stat about {};
    if (fstat(file, &about) == 0 && S_ISREG(about.st_mode) && about.st_size > 0) {
        size_t size = static_cast<size_t>(about.st_size);
        void* mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, file, 0);
        if (mapped != MAP_FAILED) {
            data_ = static_cast<const char*>(mapped);
            size_ = size;
        }
    }
    close(file);
}

MibFileBytes::~MibFileBytes()
{
    if (data_ != nullptr) {
        munmap(const_cast<char*>(data_), size_);
    }
}
