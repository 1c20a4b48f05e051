// The joined table as it was last built, beside the index. While the search
// path holds exactly the files it lists, with their sizes and times, a start
// reads this one file and nothing else: no module is parsed or placed again.
// The names stay in the file's text, which the table keeps, so that loading it
// costs one allocation per table rather than one per name.
//
//   mibcli-table 1 <fingerprint of the compiled table> <nodes> <children> <B> <K>
//   S <size> <mtime> <path>                      every file, in search order
//   W <warning>                                  what loading them said
//   N <parent> <number> <first child> <children> <name|->   every node
//   C <child>...                                 children, in runs per node
//   B <node> [<name>]        names read back; without a name, the node's own
//   K                        then, to the end, the MODULE::name lines,
//   <MODULE::name> <node>    read only when such a name is asked for,
//   E                        and the end mark, so that a cut file shows
#include "names/mib_modules.h"

#include <charconv>
#include <fstream>
#include <random>
#include <sstream>
#include <string_view>

namespace {

// Changes when the compiled table does, so that a new program version never
// reads node numbers laid out by an old one.
uint64_t CompiledFingerprint()
{
    const MibTable& compiled = MibBuiltInTable();
    uint64_t hash = 1469598103934665603ull;
    auto mix = [&](std::string_view text) {
        for (unsigned char c : text) {
            hash = (hash ^ c) * 1099511628211ull;
        }
    };
    for (const MibNode& node : compiled.nodes) {
        mix(node.name);
        mix(std::to_string(node.number) + "/" + std::to_string(node.parent));
    }
    return hash;
}

std::string_view Word(std::string_view& line)
{
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

// Reads the lines after the header into `table`; false at the first line that
// does not fit, or an index that points outside the table.
bool ReadTable(std::string_view text, const std::vector<MibFileStamp>& stamps,
               std::vector<std::string>& said, MibTable& table)
{
    size_t stamp = 0;
    while (!text.empty()) {
        size_t end = text.find('\n');
        if (end == std::string_view::npos) {
            return false;
        }
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        std::string_view kind = Word(line);
        uint32_t node = 0;
        if (kind == "S") {
            uint64_t size = 0;
            int64_t mtime = 0;
            if (stamp >= stamps.size() || !ToNumber(Word(line), size) ||
                !ToNumber(Word(line), mtime) || size != stamps[stamp].size ||
                mtime != stamps[stamp].mtime || line != stamps[stamp].path) {
                return false;
            }
            ++stamp;
        } else if (kind == "W") {
            said.emplace_back(line);
        } else if (kind == "N") {
            MibNode read{};
            bool fits = ToNumber(Word(line), read.parent) && ToNumber(Word(line), read.number) &&
                        ToNumber(Word(line), read.firstChild) &&
                        ToNumber(Word(line), read.childCount) && !line.empty();
            bool root = table.nodes.empty();
            // Parents come before their children, so no walk up can loop.
            if (!fits || (root ? read.parent != kMibNone : read.parent >= table.nodes.size())) {
                return false;
            }
            read.name = line == "-" ? std::string_view() : line;
            table.nodes.push_back(read);
        } else if (kind == "C") {
            for (std::string_view kid = Word(line); !kid.empty(); kid = Word(line)) {
                if (!ToNumber(kid, node) || node == 0 || node >= table.nodes.size()) {
                    return false;
                }
                table.children.push_back(node);
            }
        } else if (kind == "B") {
            if (!ToNumber(Word(line), node) || (node >= table.nodes.size() && node != kMibNone) ||
                (line.empty() && (node == kMibNone || table.nodes[node].name.empty()))) {
                return false;
            }
            std::string_view name = line.empty() ? table.nodes[node].name : line;
            // Sorted as written; a lookup relies on it.
            if (!table.fileNames.empty() && !(table.fileNames.back().first < name)) {
                return false;
            }
            table.fileNames.emplace_back(name, node);
        } else if (kind == "K" && line.empty()) {
            // The newline before the first entry belongs to the text searched.
            table.moduleNamesText = std::string_view(text.data() - 1, text.size() + 1);
            if (text.size() < 2 || text.substr(text.size() - 2) != "E\n" ||
                (text.size() > 2 && text[text.size() - 3] != '\n')) {
                return false;
            }
            break;
        } else {
            return false;
        }
    }
    for (const MibNode& node : table.nodes) {
        if (uint64_t{node.firstChild} + node.childCount > table.children.size()) {
            return false;
        }
    }
    return stamp == stamps.size() && !table.nodes.empty() && !table.moduleNamesText.empty();
}

}  // namespace

std::unique_ptr<MibModuleTable> MibReadSnapshot(const std::string& path,
                                                const std::vector<MibFileStamp>& stamps,
                                                std::vector<std::string>& warnings)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        return nullptr;
    }
    auto out = std::make_unique<MibModuleTable>();
    size_t size = static_cast<size_t>(in.tellg());
    // Not zero-filled first: every byte is read over at once.
    out->buffer.reset(new char[size]);
    in.seekg(0);
    if (!in.read(out->buffer.get(), static_cast<std::streamsize>(size))) {
        return nullptr;
    }
    std::string_view text(out->buffer.get(), size);
    std::string header = "mibcli-table 1 " + std::to_string(CompiledFingerprint()) + " ";
    if (text.substr(0, header.size()) != header) {
        return nullptr;
    }
    text.remove_prefix(header.size());
    // The counts of nodes, children and names, so that nothing grows twice.
    size_t lineEnd = text.find('\n');
    if (lineEnd == std::string_view::npos) {
        return nullptr;
    }
    std::string_view line = text.substr(0, lineEnd);
    text.remove_prefix(lineEnd + 1);
    size_t counts[4] = {};
    for (size_t& count : counts) {
        if (!ToNumber(Word(line), count) || count > size) {
            return nullptr;
        }
    }
    out->table.nodes.reserve(counts[0]);
    out->table.children.reserve(counts[1]);
    out->table.fileNames.reserve(counts[2]);
    out->table.byName = MibBuiltInTable().byName;
    // A table cut short at a line's end must not pass for a whole one.
    const MibTable& table = out->table;
    std::vector<std::string> said;
    if (!ReadTable(text, stamps, said, out->table) || table.nodes.size() != counts[0] ||
        table.children.size() != counts[1] || table.fileNames.size() != counts[2]) {
        return nullptr;
    }
    warnings.insert(warnings.end(), said.begin(), said.end());
    out->table.mib2 = MibBuiltInTable().mib2;
    return out;
}

int MibWriteSnapshot(const std::string& path, const std::vector<MibFileStamp>& stamps,
                     const std::vector<std::string>& warnings, const MibTable& table)
{
    std::ostringstream out;
    out << "mibcli-table 1 " << CompiledFingerprint() << ' ' << table.nodes.size() << ' '
        << table.children.size() << ' ' << table.fileNames.size() << ' ' << table.moduleNames.size()
        << '\n';
    for (const MibFileStamp& stamp : stamps) {
        if (stamp.path.find('\n') != std::string::npos) {
            return 0;
        }
        out << "S " << stamp.size << ' ' << stamp.mtime << ' ' << stamp.path << '\n';
    }
    for (const std::string& warning : warnings) {
        if (warning.find('\n') == std::string::npos) {
            out << "W " << warning << '\n';
        }
    }
    for (const MibNode& node : table.nodes) {
        out << "N " << node.parent << ' ' << node.number << ' ' << node.firstChild << ' '
            << node.childCount << ' ' << (node.name.empty() ? "-" : node.name) << '\n';
    }
    out << 'C';
    for (uint32_t kid : table.children) {
        out << ' ' << kid;
    }
    out << '\n';
    for (const auto& [name, node] : table.fileNames) {
        out << "B " << node;
        if (node == kMibNone || table.nodes[node].name != name) {
            out << ' ' << name;
        }
        out << '\n';
    }
    out << "K\n";
    for (const auto& [name, node] : table.moduleNames) {
        out << name << ' ' << node << '\n';
    }
    out << "E\n";
    return MibReplaceFile(path, out.str());
}
