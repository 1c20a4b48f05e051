// The text of the error box, on both systems: every control character (C0, DEL and C1) shown
// as '?', so that a name holding one can neither break the text into lines nor drive a
// terminal.
#pragma once

#include <string>

namespace pkgrunner {

std::string PrintableBoxText(const char* text);

}  // namespace pkgrunner
