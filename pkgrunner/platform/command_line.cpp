#include "command_line.h"

#include <cstddef>

namespace pkgrunner {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool NeedsQuotes(const std::string& word)
{
    if (word.empty()) {
        return true;
    }
    return word.find_first_of(" \t\"") != std::string::npos;
}

}  // namespace

std::string QuoteArgument(const std::string& word)
{
    if (!NeedsQuotes(word)) {
        return word;
    }
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (char c : word) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            // Each backslash before the quote doubles, and one more escapes the quote itself.
            quoted.append(backslashes * 2 + 1, '\\');
        } else {
            quoted.append(backslashes, '\\');
        }
        backslashes = 0;
        quoted += c;
    }
    // The closing quote follows, so trailing backslashes must be doubled to stay literal.
    quoted.append(backslashes * 2, '\\');
    quoted += '"';
    return quoted;
}

std::string JoinArguments(int count, const char* const* words)
{
    std::string text;
    for (int i = 1; i < count; ++i) {
        if (i > 1) {
            text += ' ';
        }
        text += QuoteArgument(words[i]);
    }
    return text;
}

std::vector<std::string> SplitCommandLine(const std::string& text)
{
    std::vector<std::string> words;
    std::size_t at = 0;
    const std::size_t end = text.size();
    while (true) {
        while (at < end && IsBlank(text[at])) {
            ++at;
        }
        if (at == end) {
            break;
        }
        std::string word;
        bool quoted = false;
        while (at < end && (quoted || !IsBlank(text[at]))) {
            if (text[at] == '\\') {
                std::size_t backslashes = 0;
                while (at < end && text[at] == '\\') {
                    ++backslashes;
                    ++at;
                }
                if (at < end && text[at] == '"') {
                    word.append(backslashes / 2, '\\');
                    if (backslashes % 2 == 1) {
                        word += '"';
                        ++at;
                    }
                } else {
                    word.append(backslashes, '\\');
                }
                continue;
            }
            if (text[at] == '"') {
                if (quoted && at + 1 < end && text[at + 1] == '"') {
                    word += '"';
                    at += 2;
                    continue;
                }
                quoted = !quoted;
                ++at;
                continue;
            }
            word += text[at];
            ++at;
        }
        words.push_back(word);
    }
    return words;
}

}  // namespace pkgrunner
