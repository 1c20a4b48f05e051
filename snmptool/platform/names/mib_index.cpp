// The compiled index of the search path: one text file with, for each module
// file, its size and time and what the reader took from it. A current index
// spares every module file being opened; anything odd in it (another
// version, a damaged line) makes it count as missing, never as an error.
//
//   mibcli-index 1
//   F <size> <mtime> <path>                 a file; the lines below are its
//   E <line> <reason>                       why it was skipped, or
//   M <module>                              a module, with its
//   I <from-module> <symbol>...             imports and
//   D <name> <line> <T|-> <parent|-> <number>[:<label>]...   definitions
#include "names/mib_modules.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string_view>

namespace {

constexpr std::string_view kHeader = "mibcli-index 1";

// The next blank-separated word of `line`, taken off its front.
std::string_view Word(std::string_view& line)
{
    size_t start = line.find_first_not_of(' ');
    if (start == std::string_view::npos) {
        line = {};
        return {};
    }
    line.remove_prefix(start);
    size_t end = line.find(' ');
    std::string_view word = line.substr(0, end);
    line.remove_prefix(end == std::string_view::npos ? line.size() : end + 1);
    return word;
}

template <typename Number> bool ToNumber(std::string_view text, Number& value)
{
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

bool ReadDefinition(std::string_view line, SmiDefinition& definition)
{
    definition.name = Word(line);
    bool numbered = ToNumber(Word(line), definition.line);
    std::string_view trap = Word(line);
    std::string_view parent = Word(line);
    if (!numbered || (trap != "T" && trap != "-") || parent.empty() || definition.name.empty()) {
        return false;
    }
    definition.trap = trap == "T";
    definition.parent = parent == "-" ? "" : std::string(parent);
    for (std::string_view arc = Word(line); !arc.empty(); arc = Word(line)) {
        size_t colon = arc.find(':');
        SmiArc read{0, colon == std::string_view::npos ? "" : std::string(arc.substr(colon + 1))};
        if (!ToNumber(arc.substr(0, colon), read.number) || definition.arcs.size() >= kSmiMaxArcs) {
            return false;
        }
        definition.arcs.push_back(std::move(read));
    }
    return true;
}

// One line of the index into `files`; false when it does not fit the format.
bool ReadLine(std::string_view line, std::vector<MibIndexedFile>& files)
{
    std::string_view kind = Word(line);
    if (kind == "F") {
        MibIndexedFile file;
        if (!ToNumber(Word(line), file.size) || !ToNumber(Word(line), file.mtime) || line.empty()) {
            return false;
        }
        file.path = line;
        files.push_back(std::move(file));
        return true;
    }
    if (files.empty()) {
        return false;
    }
    SmiFile& file = files.back().file;
    if (kind == "E") {
        file.error = line.substr(std::min(line.size(), line.find(' ') + 1));
        return ToNumber(Word(line), file.errorLine) && !file.error.empty();
    }
    if (kind == "M") {
        file.modules.push_back(SmiModule{std::string(Word(line)), {}, {}});
        return !file.modules.back().name.empty();
    }
    if (file.modules.empty()) {
        return false;
    }
    SmiModule& module = file.modules.back();
    if (kind == "I") {
        SmiImport import{std::string(Word(line)), {}};
        for (std::string_view symbol = Word(line); !symbol.empty(); symbol = Word(line)) {
            import.symbols.emplace_back(symbol);
        }
        module.imports.push_back(std::move(import));
        return !module.imports.back().module.empty();
    }
    if (kind == "D") {
        module.definitions.emplace_back();
        return ReadDefinition(line, module.definitions.back());
    }
    return false;
}

void WriteFile(std::ostream& out, const MibIndexedFile& indexed)
{
    out << "F " << indexed.size << ' ' << indexed.mtime << ' ' << indexed.path << '\n';
    const SmiFile& file = indexed.file;
    if (!file.error.empty()) {
        out << "E " << file.errorLine << ' ' << file.error << '\n';
        return;
    }
    for (const SmiModule& module : file.modules) {
        out << "M " << module.name << '\n';
        for (const SmiImport& import : module.imports) {
            out << "I " << import.module;
            for (const std::string& symbol : import.symbols) {
                out << ' ' << symbol;
            }
            out << '\n';
        }
        for (const SmiDefinition& definition : module.definitions) {
            out << "D " << definition.name << ' ' << definition.line << ' '
                << (definition.trap ? 'T' : '-') << ' '
                << (definition.parent.empty() ? "-" : definition.parent);
            for (const SmiArc& arc : definition.arcs) {
                out << ' ' << arc.number;
                if (!arc.label.empty()) {
                    out << ':' << arc.label;
                }
            }
            out << '\n';
        }
    }
}

}  // namespace

int MibReadIndex(const std::string& path, std::vector<MibIndexedFile>& files)
{
    files.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return 0;
    }
    std::stringstream whole;
    whole << in.rdbuf();
    std::string text = whole.str();
    std::string_view rest = text;
    bool first = true;
    while (!rest.empty()) {
        size_t end = rest.find('\n');
        if (end == std::string_view::npos) {
            files.clear();
            return 0;
        }
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end + 1);
        if (first ? line != kHeader : !ReadLine(line, files)) {
            files.clear();
            return 0;
        }
        first = false;
    }
    return first ? 0 : 1;
}

int MibWriteIndex(const std::string& path, const std::vector<MibIndexedFile>& files)
{
    std::ostringstream out;
    out << kHeader << '\n';
    for (const MibIndexedFile& file : files) {
        if (file.path.find('\n') != std::string::npos) {
            return 0;
        }
        WriteFile(out, file);
    }
    return MibReplaceFile(path, out.str());
}

int MibReplaceFile(const std::string& path, const std::string& bytes)
{
    std::error_code error;
    std::filesystem::path target(path);
    std::filesystem::create_directories(target.parent_path(), error);
    // Two runs writing at once each move a whole file into place.
    std::filesystem::path aside = target;
    aside += ".tmp" + std::to_string(std::random_device{}());
    {
        std::ofstream out(aside, std::ios::binary | std::ios::trunc);
        out << bytes;
        out.flush();
        if (!out) {
            out.close();
            std::filesystem::remove(aside, error);
            return 0;
        }
    }
    std::filesystem::rename(aside, target, error);
    if (error) {
        std::filesystem::remove(aside, error);
        return 0;
    }
    return 1;
}
