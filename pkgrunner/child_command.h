// What the launcher hands each child, and when it keeps quiet about a failed start.
#pragma once

#include <string>

namespace pkgrunner {

// The two passes: package executables first, then the setup tool once per answer file.
enum Pass { kPackagePass = 0, kAnswerFilePass = 1, kPassCount = 2 };

// The file pattern of a pass, matched in the current directory.
const char* PassPattern(int pass);

// The child's command line for a matched file and the launcher's arguments (used verbatim):
//   package pass:     "<file> <arguments>"               (ends in the blank when there are none)
//   answer-file pass: "deployer.exe <arguments> /a <file>" (two blanks before /a when none)
// The file name is quoted when it holds a blank, tab or double quote, so the child is the file
// that matched and the answer file arrives as one word; ordinary names are written unchanged.
std::string ChildCommandLine(int pass, const std::string& fileName, const std::string& arguments);

// Whether a failed start is kept quiet: the arguments end in exactly "/silent" (case matters).
bool ArgumentsAreSilent(const std::string& arguments);

}  // namespace pkgrunner
