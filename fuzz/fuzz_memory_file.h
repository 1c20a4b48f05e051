// A file in memory for the whole run, rewritten for each input; the code under
// test opens it by its /proc path as it would open any named file. Private to
// its owner, as the users file must be.
#pragma once

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_require.h"

class MemoryFile {
public:
    explicit MemoryFile(const char* name) : fd_(memfd_create(name, 0))
    {
        Require(fd_ >= 0);
        Require(fchmod(fd_, 0600) == 0);
    }

    // Replaces the content; gives the path to open it by.
    std::string Hold(const uint8_t* data, size_t size) const
    {
        Require(ftruncate(fd_, 0) == 0);
        Require(pwrite(fd_, data, size, 0) == static_cast<ssize_t>(size));
        return "/proc/self/fd/" + std::to_string(fd_);
    }

private:
    int fd_;
};
