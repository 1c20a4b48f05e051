// The joined table as it was last built, beside the index. While the search
// path holds exactly the files it lists, with their sizes and times, a start
// reads this one file and nothing else: no module is parsed or placed again.
//
// The file is binary, in this machine's byte order, and mapped rather than
// read: loading it is a pass over the nodes, while the sorted names are
// searched in place. No name is copied. In order:
//
//   header      magic, fingerprint of the compiled table, the counts below
//   stamps      every file, in search order: size, time, path
//   nodes       parent, number, first child, child count, name
//   children    node indexes, in runs per node
//   file names  names read back, sorted, and their nodes
//   module names "MODULE::name", sorted, and their nodes
//   text        the bytes every name and path above points into
//
// A file whose size is not exactly what its counts give is cut or damaged,
// and is not believed.
#include "names/mib_modules.h"

#include <cstring>
#include <string_view>

namespace {

constexpr char kMagic[16] = "mibcli-table 3\n";

enum Count { kStamps, kNodes, kChildren, kFileNames, kModuleNames, kTextBytes, kCounts };

// Records without padding, so that every byte written is a defined one.
struct Header {
    char magic[16];
    uint64_t fingerprint;
    uint32_t counts[kCounts];
};
struct Span {
    uint32_t at;
    uint32_t size;
};
struct StampRecord {
    uint64_t size;
    int64_t mtime;
    Span path;
};
struct NodeRecord {
    uint32_t parent;
    uint32_t number;
    uint32_t firstChild;
    uint32_t childCount;
    Span name;
};

// Changes when the compiled table does, so that a new program version never
// reads node numbers laid out by an old one.
uint64_t CompiledFingerprint()
{
    const MibTable& compiled = MibBuiltInTable();
    uint64_t hash = 1469598103934665603ull;
    auto mix = [&](const void* data, size_t size) {
        for (size_t i = 0; i < size; ++i) {
            hash = (hash ^ static_cast<const unsigned char*>(data)[i]) * 1099511628211ull;
        }
    };
    for (const MibNode& node : compiled.nodes) {
        mix(node.name.data(), node.name.size());
        mix(&node.number, sizeof node.number);
        mix(&node.parent, sizeof node.parent);
    }
    return hash;
}

// Reads records one after the other out of the file's bytes.
class RecordReader {
public:
    RecordReader(const char* data, size_t size) : at_(data), end_(data + size) {}

    template <typename Record> Record Next()
    {
        Record record;
        std::memcpy(&record, at_, sizeof record);  // the caller checked the size
        at_ += sizeof record;
        return record;
    }
    void Skip(uint64_t size)
    {
        at_ += size;
    }  // the caller checked the size
    std::string_view Rest() const
    {
        return {at_, static_cast<size_t>(end_ - at_)};
    }

private:
    const char* at_;
    const char* end_;
};

uint64_t ExpectedSize(const Header& header)
{
    const uint32_t* n = header.counts;
    return sizeof(Header) + uint64_t{n[kStamps]} * sizeof(StampRecord) +
           uint64_t{n[kNodes]} * sizeof(NodeRecord) +
           uint64_t{n[kChildren]} * sizeof(uint32_t) +
           (uint64_t{n[kFileNames]} + n[kModuleNames]) * sizeof(MibNameRecord) + n[kTextBytes];
}

// The text a span points at, or false when it points outside the text.
bool TextOf(std::string_view text, Span span, std::string_view& out)
{
    if (uint64_t{span.at} + span.size > text.size()) {
        return false;
    }
    out = text.substr(span.at, span.size);
    return true;
}

// The name records, read in place: each is checked when a lookup reads it.
MibSortedNames NamesAt(RecordReader& in, uint32_t count, std::string_view text, size_t nodes)
{
    const char* records = in.Rest().data();
    in.Skip(uint64_t{count} * sizeof(MibNameRecord));
    return MibSortedNames(records, count, text, nodes);
}

bool ReadTable(RecordReader& in, const Header& header, const std::vector<MibFileStamp>& stamps,
               std::string_view text, MibTable& table)
{
    const uint32_t* counts = header.counts;
    if (counts[kStamps] != stamps.size() || counts[kNodes] == 0) {
        return false;
    }
    for (const MibFileStamp& stamp : stamps) {
        StampRecord record = in.Next<StampRecord>();
        std::string_view path;
        if (!TextOf(text, record.path, path) || record.size != stamp.size ||
            record.mtime != stamp.mtime || path != stamp.path) {
            return false;
        }
    }
    table.nodes.resize(counts[kNodes]);
    for (uint32_t i = 0; i < counts[kNodes]; ++i) {
        NodeRecord record = in.Next<NodeRecord>();
        MibNode& node = table.nodes[i];
        node = {{}, record.number, record.parent, record.firstChild, record.childCount};
        // Parents come before their children, so no walk up can loop.
        bool parentFits = i == 0 ? record.parent == kMibNone : record.parent < i;
        if (!parentFits || !TextOf(text, record.name, node.name) ||
            uint64_t{record.firstChild} + record.childCount > counts[kChildren]) {
            return false;
        }
    }
    table.children.resize(counts[kChildren]);
    for (uint32_t& kid : table.children) {
        kid = in.Next<uint32_t>();
        if (kid == 0 || kid >= table.nodes.size()) {
            return false;
        }
    }
    table.fileNames = NamesAt(in, counts[kFileNames], text, table.nodes.size());
    table.moduleNames = NamesAt(in, counts[kModuleNames], text, table.nodes.size());
    return true;
}

// Builds the file: the records, and the text they point into.
class SnapshotWriter {
public:
    template <typename Record> void Put(const Record& record)
    {
        records_.append(reinterpret_cast<const char*>(&record), sizeof record);
    }
    Span Text(std::string_view bytes)
    {
        Span span{static_cast<uint32_t>(text_.size()), static_cast<uint32_t>(bytes.size())};
        text_.append(bytes);
        return span;
    }
    bool Fits() const
    {
        return records_.size() + text_.size() < UINT32_MAX;
    }
    std::string Bytes(Header header) const
    {
        header.counts[kTextBytes] = static_cast<uint32_t>(text_.size());
        std::string bytes(reinterpret_cast<const char*>(&header), sizeof header);
        return bytes + records_ + text_;
    }

private:
    std::string records_;
    std::string text_;
};

}  // namespace

std::unique_ptr<MibModuleTable> MibReadSnapshot(const std::string& path,
                                                const std::vector<MibFileStamp>& stamps)
{
    auto out = std::make_unique<MibModuleTable>();
    out->saved = std::make_unique<MibFileBytes>(path);
    std::string_view bytes = out->saved->Bytes();
    if (bytes.size() < sizeof(Header)) {
        return nullptr;
    }
    RecordReader records(bytes.data(), bytes.size());
    Header header = records.Next<Header>();
    if (std::memcmp(header.magic, kMagic, sizeof kMagic) != 0 ||
        header.fingerprint != CompiledFingerprint() || ExpectedSize(header) != bytes.size()) {
        return nullptr;
    }
    std::string_view text = bytes.substr(bytes.size() - header.counts[kTextBytes]);
    out->table.byName = MibBuiltInTable().byName;
    if (!ReadTable(records, header, stamps, text, out->table)) {
        return nullptr;
    }
    out->table.mib2 = MibBuiltInTable().mib2;
    return out;
}

int MibWriteSnapshot(const std::string& path, const std::vector<MibFileStamp>& stamps,
                     const MibTable& table)
{
    Header header{};
    std::memcpy(header.magic, kMagic, sizeof kMagic);
    header.fingerprint = CompiledFingerprint();
    uint32_t counts[] = {static_cast<uint32_t>(stamps.size()),
                         static_cast<uint32_t>(table.nodes.size()),
                         static_cast<uint32_t>(table.children.size()),
                         static_cast<uint32_t>(table.fileNames.Size()),
                         static_cast<uint32_t>(table.moduleNames.Size())};
    std::memcpy(header.counts, counts, sizeof counts);

    SnapshotWriter out;
    for (const MibFileStamp& stamp : stamps) {
        out.Put(StampRecord{stamp.size, stamp.mtime, out.Text(stamp.path)});
    }
    std::vector<Span> nodeNames;
    nodeNames.reserve(table.nodes.size());
    for (const MibNode& node : table.nodes) {
        nodeNames.push_back(out.Text(node.name));
        out.Put(NodeRecord{node.parent, node.number, node.firstChild, node.childCount,
                           nodeNames.back()});
    }
    for (uint32_t kid : table.children) {
        out.Put(kid);
    }
    // A name read back is mostly its node's own name: its text is written once.
    for (size_t i = 0; i < table.fileNames.Size(); ++i) {
        auto [name, node] = table.fileNames.At(i);
        Span text =
            node != kMibNone && table.nodes[node].name == name ? nodeNames[node] : out.Text(name);
        out.Put(MibNameRecord{text.at, text.size, node});
    }
    for (size_t i = 0; i < table.moduleNames.Size(); ++i) {
        auto [name, node] = table.moduleNames.At(i);
        Span text = out.Text(name);
        out.Put(MibNameRecord{text.at, text.size, node});
    }
    // Counts above 2^32 cannot be written; such a table is only not saved.
    if (!out.Fits() || table.nodes.size() >= UINT32_MAX) {
        return 0;
    }
    return MibReplaceFile(path, out.Bytes(header));
}
