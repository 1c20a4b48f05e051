#include "error_box.h"

#include "box_text.h"

#include <cerrno>
#include <string>

#include <unistd.h>

namespace pkgrunner {


int MessageBoxA(HWND /*owner*/, const char* text, const char* caption, UINT /*type*/)
{
    std::string line = caption != nullptr ? caption : "Error";
    line += ": ";
    // The box is one line: a control character in the text (a file name may hold a newline on
    // this system) would split it or move the terminal.
    line += PrintableBoxText(text);
    line += '\n';
    // A short write is continued so the line is never cut off.
    std::size_t written = 0;
    while (written < line.size()) {
        const ssize_t step = write(STDERR_FILENO, line.data() + written, line.size() - written);
        if (step < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        written += static_cast<std::size_t>(step);
    }
    return IDOK;
}

}  // namespace pkgrunner
