// Captures what the code under test writes to standard output or standard
// error: the stream's descriptor is pointed at a temporary file for the
// lifetime of the object, and Take() hands back the bytes written so far.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <string>

class StreamCapture {
public:
    // `stream` is stdout or stderr.
    explicit StreamCapture(FILE* stream) : stream_(stream), file_(tmpfile())
    {
        fflush(stream_);
        saved_ = dup(fileno(stream_));
        if (file_ != nullptr) {
            dup2(fileno(file_), fileno(stream_));
        }
    }

    ~StreamCapture()
    {
        Restore();
        if (file_ != nullptr) {
            fclose(file_);
        }
    }

    StreamCapture(const StreamCapture&) = delete;
    StreamCapture& operator=(const StreamCapture&) = delete;

    // Everything written since the start or the last Take().
    std::string Take()
    {
        fflush(stream_);
        std::string bytes;
        if (file_ == nullptr) {
            return bytes;
        }
        const int fd = fileno(file_);
        char buffer[4096];
        for (;;) {
            const ssize_t got = pread(fd, buffer, sizeof buffer, static_cast<off_t>(offset_));
            if (got <= 0) {
                break;
            }
            bytes.append(buffer, static_cast<size_t>(got));
            offset_ += static_cast<size_t>(got);
        }
        return bytes;
    }

private:
    void Restore()
    {
        if (saved_ >= 0) {
            fflush(stream_);
            dup2(saved_, fileno(stream_));
            close(saved_);
            saved_ = -1;
        }
    }

    FILE* stream_;
    FILE* file_;
    int saved_ = -1;
    size_t offset_ = 0;
};
