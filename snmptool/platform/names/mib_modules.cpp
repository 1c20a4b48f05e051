// Loading the module files of the search path and joining their names to the
// compiled table. Files come from the index while their size and time are
// those it recorded; the others are read again and the index rewritten.
// Placing a definition follows its parent, through the module's own
// definitions, its imports and the built-in base, with a bounded depth and a
// mark on every definition being placed, so that cycles and a definition
// that is its own parent end as "not placed" instead of a hang.
#include "names/mib_modules.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace {

namespace fs = std::filesystem;

using Path = std::vector<uint32_t>;

// Well past any real chain of definitions; an identifier has at most 128
// sub-identifiers anyway.
constexpr int kMaxDepth = 256;
// A directory with more files than this is no module directory.
constexpr size_t kMaxFilesPerDirectory = 100000;
constexpr uint32_t kSnmpPath[] = {1, 3, 6, 1, 2, 1, 11};

using FileStamp = MibFileStamp;

std::atomic<MibWarningSink> g_warningSink{nullptr};

}  // namespace

std::vector<MibFileStamp> MibListFiles(const std::vector<std::string>& dirs)
{
    std::vector<FileStamp> stamps;
    std::unordered_set<std::string> listed;
    for (const std::string& dir : dirs) {
        std::vector<FileStamp> here;
        MibListDirectory(dir, kMaxFilesPerDirectory, here);
        std::sort(here.begin(), here.end(),
                  [](const FileStamp& a, const FileStamp& b) { return a.path < b.path; });
        for (FileStamp& stamp : here) {
            if (listed.insert(stamp.path).second) {
                stamps.push_back(std::move(stamp));
            }
        }
    }
    return stamps;
}

namespace {

// Reads one module file, at most the reader's limit of it.
SmiFile ReadModuleFile(const FileStamp& stamp)
{
    SmiFile file;
    std::ifstream in(stamp.path, std::ios::binary);
    if (!in) {
        file.error = "cannot be opened";
        return file;
    }
    std::string text(std::min<uint64_t>(stamp.size, kSmiMaxFileBytes + 1), '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    if (text.size() > kSmiMaxFileBytes) {
        file.error = "larger than 8 MiB";
        file.errorLine = 1 + static_cast<uint32_t>(std::count(text.begin(), text.end() - 1, '\n'));
        return file;
    }
    SmiReadText(text, file);
    return file;
}

// The path of a node of a table, from the root.
Path PathOf(const MibTable& table, uint32_t node)
{
    Path path;
    for (; node != kMibRoot && node != kMibNone; node = table.nodes[node].parent) {
        path.push_back(table.nodes[node].number);
    }
    std::reverse(path.begin(), path.end());
    return path;
}

enum class Mark : uint8_t { Unseen, Placing, Placed, Failed };

// Places every definition of the loaded modules.
class Placer {
public:
    explicit Placer(const std::vector<const SmiModule*>& modules) : modules_(modules)
    {
        defs_.resize(modules.size());
        marks_.resize(modules.size());
        paths_.resize(modules.size());
        for (size_t m = 0; m < modules.size(); ++m) {
            byModule_.emplace(modules[m]->name, m);
            const auto& definitions = modules[m]->definitions;
            marks_[m].assign(definitions.size(), Mark::Unseen);
            paths_[m].resize(definitions.size());
            for (size_t d = 0; d < definitions.size(); ++d) {
                defs_[m].emplace(definitions[d].name, d);
            }
        }
    }

    // The definition's path, or null with `why` set when it cannot be placed.
    const Path* Place(size_t m, size_t d, std::string& why)
    {
        return PlaceAt(m, d, 0, why) ? &paths_[m][d] : nullptr;
    }

private:
    bool PlaceAt(size_t m, size_t d, int depth, std::string& why)
    {
        if (marks_[m][d] == Mark::Placed) {
            return true;
        }
        const SmiDefinition& definition = modules_[m]->definitions[d];
        if (marks_[m][d] != Mark::Unseen || depth > kMaxDepth) {
            why = definition.name + (marks_[m][d] == Mark::Failed    ? " cannot be placed"
                                     : marks_[m][d] == Mark::Placing ? " is its own ancestor"
                                                                     : " is nested too deep");
            return false;
        }
        marks_[m][d] = Mark::Placing;
        Path path;
        bool placed =
            definition.parent.empty() || NamePath(m, definition.parent, depth + 1, path, why);
        if (placed) {
            for (const SmiArc& arc : definition.arcs) {
                path.push_back(arc.number);
            }
            if (definition.trap) {
                TrapPath(path);
            }
            if (path.empty() || path.size() > kSmiMaxArcs) {
                why = definition.name + " has no identifier of at most 128 numbers";
                placed = false;
            }
        }
        marks_[m][d] = placed ? Mark::Placed : Mark::Failed;
        paths_[m][d] = placed ? std::move(path) : Path{};
        return placed;
    }

    // A name as module `m` sees it: its own, imported, or from the base.
    bool NamePath(size_t m, const std::string& name, int depth, Path& path, std::string& why)
    {
        auto own = defs_[m].find(name);
        if (own != defs_[m].end()) {
            if (!PlaceAt(m, own->second, depth, why)) {
                return false;
            }
            path = paths_[m][own->second];
            return true;
        }
        for (const SmiImport& import : modules_[m]->imports) {
            if (std::find(import.symbols.begin(), import.symbols.end(), name) ==
                import.symbols.end()) {
                continue;
            }
            auto from = byModule_.find(import.module);
            if (from != byModule_.end()) {
                auto there = defs_[from->second].find(name);
                if (there == defs_[from->second].end()) {
                    break;
                }
                if (!PlaceAt(from->second, there->second, depth, why)) {
                    return false;
                }
                path = paths_[from->second][there->second];
                return true;
            }
            break;
        }
        uint32_t node = MibUniqueName(MibBaseTable(), name);
        if (node == kMibNone) {
            why = name + " is not known";
            return false;
        }
        path = PathOf(MibBaseTable(), node);
        return true;
    }

    // SMIv1 generic traps of the snmp group map to snmpTraps (RFC 3584 3.1).
    static void TrapPath(Path& path)
    {
        size_t snmp = std::size(kSnmpPath);
        if (path.size() == snmp + 2 && std::equal(kSnmpPath, kSnmpPath + snmp, path.begin()) &&
            path.back() <= 5) {
            uint32_t generic = path.back();
            path = PathOf(MibBaseTable(), MibUniqueName(MibBaseTable(), "snmpTraps"));
            path.push_back(generic + 1);
        }
    }

    const std::vector<const SmiModule*>& modules_;
    std::unordered_map<std::string_view, size_t> byModule_;
    std::vector<std::unordered_map<std::string_view, size_t>> defs_;
    std::vector<std::vector<Mark>> marks_;
    std::vector<std::vector<Path>> paths_;
};

// The joined tree: the compiled table first, then the files' names where a
// node has none yet.
class TreeBuilder {
public:
    explicit TreeBuilder(MibModuleTable& out) : out_(out)
    {
        const MibTable& compiled = MibBuiltInTable();
        out_.table.nodes = compiled.nodes;
        out_.table.byName = compiled.byName;
        out_.table.mib2 = compiled.mib2;
        kids_.resize(compiled.nodes.size());
        for (uint32_t n = 0; n < compiled.nodes.size(); ++n) {
            const MibNode& node = compiled.nodes[n];
            for (uint32_t i = 0; i < node.childCount; ++i) {
                uint32_t kid = compiled.children[node.firstChild + i];
                kids_[n].emplace(compiled.nodes[kid].number, kid);
            }
        }
    }

    // The node of a path, made (unnamed) where missing unless `find` only.
    uint32_t Node(const Path& path, bool findOnly)
    {
        uint32_t node = kMibRoot;
        for (uint32_t number : path) {
            auto kid = kids_[node].find(number);
            if (kid != kids_[node].end()) {
                node = kid->second;
                continue;
            }
            if (findOnly) {
                return kMibNone;
            }
            uint32_t made = static_cast<uint32_t>(out_.table.nodes.size());
            out_.table.nodes.push_back(MibNode{{}, number, node, 0, 0});
            kids_.emplace_back();
            kids_[node].emplace(number, made);
            node = made;
        }
        return node;
    }

    // Gives `name` to `node`: as its printed name when it has none, and as a
    // name that reads back to it unless a compiled name or another node
    // already has it.
    void Name(uint32_t node, const std::string& name, const std::string& module)
    {
        if (!module.empty()) {
            moduleNames_.emplace(Keep(module + "::" + name), node);
        }
        std::string_view text = Keep(name);
        if (out_.table.nodes[node].name.empty() && node != kMibRoot) {
            out_.table.nodes[node].name = text;
        }
        if (MibUniqueName(MibBuiltInTable(), name) != kMibNone) {
            return;
        }
        auto [slot, inserted] = fileNames_.emplace(text, node);
        if (!inserted && slot->second != node) {
            slot->second = kMibNone;
        }
    }

    void Finish()
    {
        MibTable& table = out_.table;
        table.fileNames = Sorted(fileNames_);
        table.moduleNames = Sorted(moduleNames_);
        table.children.clear();
        for (uint32_t n = 0; n < table.nodes.size(); ++n) {
            table.nodes[n].firstChild = static_cast<uint32_t>(table.children.size());
            table.nodes[n].childCount = static_cast<uint32_t>(kids_[n].size());
            for (const auto& [number, kid] : kids_[n]) {
                table.children.push_back(kid);
            }
        }
    }

private:
    static MibSortedNames Sorted(const std::unordered_map<std::string_view, uint32_t>& names)
    {
        std::vector<MibSortedNames::Entry> sorted(names.begin(), names.end());
        std::sort(sorted.begin(), sorted.end());
        return MibSortedNames(std::move(sorted));
    }

    std::string_view Keep(const std::string& text)
    {
        auto known = kept_.find(text);
        if (known != kept_.end()) {
            return known->second;
        }
        out_.texts.push_back(text);
        std::string_view view = out_.texts.back();
        kept_.emplace(view, view);
        return view;
    }

    MibModuleTable& out_;
    std::vector<std::map<uint32_t, uint32_t>> kids_;
    std::unordered_map<std::string_view, std::string_view> kept_;
    std::unordered_map<std::string_view, uint32_t> fileNames_;
    std::unordered_map<std::string_view, uint32_t> moduleNames_;
};

// The files of the search path, from the index where it is current.
std::vector<MibIndexedFile> Collect(const std::vector<FileStamp>& stamps,
                                    const std::string& indexPath)
{
    std::vector<MibIndexedFile> indexed;
    if (!indexPath.empty()) {
        MibReadIndex(indexPath, indexed);
    }
    std::unordered_map<std::string_view, MibIndexedFile*> byPath;
    for (MibIndexedFile& file : indexed) {
        byPath.emplace(file.path, &file);
    }
    std::vector<MibIndexedFile> files;
    bool changed = false;
    for (const FileStamp& stamp : stamps) {
        auto known = byPath.find(stamp.path);
        if (known != byPath.end() && known->second->size == stamp.size &&
            known->second->mtime == stamp.mtime) {
            files.push_back(std::move(*known->second));
            continue;
        }
        files.push_back(MibIndexedFile{stamp.path, stamp.size, stamp.mtime, ReadModuleFile(stamp)});
        changed = true;
    }
    if (!indexPath.empty() && (changed || files.size() != indexed.size())) {
        // An index that cannot be written only costs the next start its speed.
        MibWriteIndex(indexPath, files);
    }
    return files;
}

}  // namespace

std::unique_ptr<MibModuleTable> MibLoadModules(const std::vector<std::string>& dirs,
                                               const std::string& indexPath,
                                               std::vector<std::string>& warnings)
{
    std::vector<FileStamp> stamps = MibListFiles(dirs);
    // With no file at all there is nothing worth saving or reading back.
    bool saving = !indexPath.empty() && !stamps.empty();
    if (saving) {
        auto saved = MibReadSnapshot(indexPath + ".table", stamps);
        if (saved != nullptr) {
            return saved;
        }
    }
    std::vector<MibIndexedFile> files = Collect(stamps, indexPath);
    // The first file that defines a module is the one used, as the search
    // path orders them.
    std::vector<const SmiModule*> modules;
    std::vector<const std::string*> modulePaths;
    std::unordered_map<std::string_view, bool> seen;
    for (const MibIndexedFile& file : files) {
        if (!file.file.error.empty()) {
            warnings.push_back("MIB file " + file.path + " skipped: " + file.file.error +
                               " at line " + std::to_string(file.file.errorLine));
            continue;
        }
        for (const SmiModule& module : file.file.modules) {
            if (seen.emplace(module.name, true).second) {
                modules.push_back(&module);
                modulePaths.push_back(&file.path);
            }
        }
    }

    auto out = std::make_unique<MibModuleTable>();
    TreeBuilder tree(*out);
    Placer placer(modules);
    for (size_t m = 0; m < modules.size(); ++m) {
        size_t unplaced = 0;
        std::string first;
        for (size_t d = 0; d < modules[m]->definitions.size(); ++d) {
            const SmiDefinition& definition = modules[m]->definitions[d];
            std::string why;
            const Path* path = placer.Place(m, d, why);
            if (path == nullptr) {
                first = unplaced++ == 0 ? why : first;
                continue;
            }
            tree.Name(tree.Node(*path, false), definition.name, modules[m]->name);
            // The labels of `{ iso org(3) dod(6) ... }` name the nodes they stand on.
            size_t top = path->size() - definition.arcs.size();
            for (size_t a = 0; a < definition.arcs.size(); ++a) {
                if (!definition.arcs[a].label.empty()) {
                    Path upTo(path->begin(), path->begin() + top + a + 1);
                    tree.Name(tree.Node(upTo, false), definition.arcs[a].label, "");
                }
            }
        }
        if (unplaced > 0) {
            warnings.push_back("MIB file " + *modulePaths[m] + ": " + std::to_string(unplaced) +
                               " definitions of " + modules[m]->name + " left out (" + first + ")");
        }
    }
    // The base's names for the nodes that files placed things under.
    const MibTable& base = MibBaseTable();
    for (uint32_t n = 1; n < base.nodes.size(); ++n) {
        uint32_t node = tree.Node(PathOf(base, n), true);
        if (node != kMibNone && out->table.nodes[node].name.empty()) {
            tree.Name(node, std::string(base.nodes[n].name), "");
        }
    }
    tree.Finish();
    if (saving) {
        MibWriteSnapshot(indexPath + ".table", stamps, out->table);
    }
    return out;
}

void MibSetWarningSink(MibWarningSink sink)
{
    g_warningSink.store(sink);
}

const MibTable& MibLoadedTable()
{
    // Never freed: the process ends with it, and freeing some 100,000 names
    // would only slow the exit.
    static const MibModuleTable* const loaded = [] {
        std::vector<std::string> dirs = MibSearchDirectories();
        std::string index;
        std::string cache = MibCacheDirectory();
        if (!cache.empty()) {
            // One index per search path, so that runs with different paths
            // do not rebuild each other's.
            uint64_t hash = 1469598103934665603ull;
            for (const std::string& dir : dirs) {
                for (unsigned char c : dir + '\n') {
                    hash = (hash ^ c) * 1099511628211ull;
                }
            }
            char name[40];
            std::snprintf(name, sizeof(name), "/index-%016llx",
                          static_cast<unsigned long long>(hash));
            index = cache + name;
        }
        std::vector<std::string> warnings;
        auto table = MibLoadModules(dirs, index, warnings);
        const MibWarningSink sink = g_warningSink.load();
        for (const std::string& warning : warnings) {
            if (sink != nullptr) {
                sink(warning.c_str());
            }
        }
        return table.release();
    }();
    return loaded->table;
}

std::vector<std::string> MibSplitPathList(const std::string& list, char separator)
{
    std::vector<std::string> dirs;
    size_t start = 0;
    for (;;) {
        size_t end = list.find(separator, start);
        std::string dir = list.substr(start, end - start);
        if (!dir.empty()) {
            dirs.push_back(dir);
        }
        if (end == std::string::npos) {
            return dirs;
        }
        start = end + 1;
    }
}
