// Command-line text and its words. Children receive one text, as on the windowed platform, and
// this system hands programs their words already split, so the layer converts both ways:
//
//  - blanks (space, tab) separate words; runs of them count as one separator;
//  - a double quote opens or closes a quoted stretch in which blanks belong to the word;
//    inside it, two double quotes in a row stand for one literal double quote;
//  - backslashes are literal, except before a double quote: 2n backslashes and a quote give n
//    backslashes and the quote acts as above; 2n+1 backslashes and a quote give n backslashes
//    and a literal double quote.
//
// QuoteArgument and JoinArguments produce text that SplitCommandLine turns back into the same
// words.
#pragma once

#include <string>
#include <vector>

namespace pkgrunner {

// The word as it must be written in a command line: unchanged when it has no blank, tab or
// double quote and is not empty, otherwise quoted with its backslashes doubled where they come
// before a quote.
std::string QuoteArgument(const std::string& word);

// The launcher's own arguments (words 1 to count-1) as one text, separated by single blanks;
// empty when there are none.
std::string JoinArguments(int count, const char* const* words);

std::vector<std::string> SplitCommandLine(const std::string& text);

}  // namespace pkgrunner
