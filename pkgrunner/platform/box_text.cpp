// The error box's text, shown safely on both systems.
#include "box_text.h"

namespace pkgrunner {

namespace {

// The length of the well-formed UTF-8 sequence at text[i] (2 to 4), or 0.
std::size_t Utf8Length(const std::string& text, std::size_t i)
{
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    const std::size_t size = lead >= 0xF0 && lead <= 0xF4   ? 4
                             : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xC2 && lead <= 0xDF ? 2
                                                            : 0;
    if (size == 0 || text.size() - i < size) {
        return 0;
    }
    for (std::size_t k = 1; k < size; ++k) {
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
            return 0;
        }
    }
    return size;
}

// The text with every control character shown as '?': C0 and DEL, and the C1
// controls (U+0080 to U+009F in UTF-8, or a lone byte 0x80 to 0x9F), which a
// terminal takes as commands (U+009B is CSI). Other UTF-8 text stays.
std::string Masked(const std::string& text)
{
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char byte = static_cast<unsigned char>(text[i]);
        const std::size_t sequence = byte < 0x80 ? 1 : Utf8Length(text, i);
        const bool control =
            byte < 0x20 || byte == 0x7F ||
            (sequence == 2 && byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) <= 0x9F) ||
            (sequence == 0 && byte <= 0x9F);
        if (control) {
            out += '?';
            i += sequence == 0 ? 1 : sequence;
        } else {
            const std::size_t keep = sequence == 0 ? 1 : sequence;
            out.append(text, i, keep);
            i += keep;
        }
    }
    return out;
}

}  // namespace

std::string PrintableBoxText(const char* text)
{
    return Masked(text != nullptr ? text : "");
}

}  // namespace pkgrunner
