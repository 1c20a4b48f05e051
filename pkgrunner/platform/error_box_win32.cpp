// The error box on Windows: the system's message box, with its text made printable first.
#include "box_text.h"
#include "error_box.h"

namespace pkgrunner {

int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type)
{
    const std::string shown = PrintableBoxText(text);
    return ::MessageBoxA(owner, shown.c_str(), caption, type);
}

}  // namespace pkgrunner
