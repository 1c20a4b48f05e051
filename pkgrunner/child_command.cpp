#include "child_command.h"

#include "platform/command_line.h"

namespace pkgrunner {

namespace {
const char* const kPatterns[kPassCount] = {"qx0*.exe", "*.ini"};
const char* const kSetupTool = "deployer.exe";
const std::string kSilentSwitch = "/silent";
}  // namespace

const char* PassPattern(int pass)
{
    return kPatterns[pass];
}

std::string ChildCommandLine(int pass, const std::string& fileName, const std::string& arguments)
{
    const std::string file = QuoteArgument(fileName);
    if (pass == kPackagePass) {
        return file + " " + arguments;
    }
    return std::string(kSetupTool) + " " + arguments + " /a " + file;
}

bool ArgumentsAreSilent(const std::string& arguments)
{
    // A byte comparison of the tail is safe for multibyte text here: in UTF-8 the bytes of
    // "/silent" never occur inside another character, so a match is always whole characters.
    return arguments.size() >= kSilentSwitch.size() &&
           arguments.compare(arguments.size() - kSilentSwitch.size(), kSilentSwitch.size(),
                             kSilentSwitch) == 0;
}

}  // namespace pkgrunner
