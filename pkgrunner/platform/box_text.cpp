#include "box_text.h"

namespace pkgrunner {

std::string PrintableBoxText(const char* text)
{
    std::string shown = text != nullptr ? text : "";
    for (char& c : shown) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            c = '?';
        }
    }
    return shown;
}

}  // namespace pkgrunner
