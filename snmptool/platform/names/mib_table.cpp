// Building the name tree from its rows, and the lookups the identifier-text
// routines make. A walk of many rows asks for a name per binding, so every
// lookup is a binary search among one node's children or one hash probe;
// nothing scans the whole table.
#include "names/mib_table.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <utility>

namespace {

// The path of mib-2 from the root (RFC 1155 section 3.1).
constexpr uint32_t kMib2Path[] = {1, 3, 6, 1, 2, 1};

// A MIB name is a letter, then letters, digits and hyphens (RFC 1155 section
// 3.1 borrows ASN.1's identifiers). Anything else could read as a number or
// split into two components, and the text of an identifier would not lead back.
bool IsMibName(std::string_view name)
{
    if (name.empty() || !std::isalpha(static_cast<unsigned char>(name[0]))) {
        return false;
    }
    return std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '-';
    });
}

// The reason a row cannot join the tree under `parent`, or empty when it can.
// Siblings are checked one by one: this runs once per row, at build time.
std::string Refusal(const MibTable& table, const std::vector<std::vector<uint32_t>>& kids,
                    const MibRow& row, uint32_t parent)
{
    if (row.name == nullptr || !IsMibName(row.name)) {
        return std::string("\"") + (row.name != nullptr ? row.name : "") + "\": not a MIB name";
    }
    if (parent == kMibNone) {
        return std::string(row.name) + ": parent " + row.parent + " unknown or not unique";
    }
    std::string where = parent == kMibRoot ? "the root" : std::string(table.nodes[parent].name);
    for (uint32_t kid : kids[parent]) {
        if (table.nodes[kid].number == row.number) {
            return std::string(row.name) + ": number " + std::to_string(row.number) +
                   " already taken under " + where;
        }
        if (table.nodes[kid].name == row.name) {
            return std::string(row.name) + ": name already taken under " + where;
        }
    }
    return {};
}

// Lays each node's children out as one run of `children`, ordered by number.
void IndexChildren(MibTable& table, std::vector<std::vector<uint32_t>>& kids)
{
    for (uint32_t parent = 0; parent < kids.size(); ++parent) {
        std::sort(kids[parent].begin(), kids[parent].end(), [&](uint32_t a, uint32_t b) {
            return table.nodes[a].number < table.nodes[b].number;
        });
        table.nodes[parent].firstChild = static_cast<uint32_t>(table.children.size());
        table.nodes[parent].childCount = static_cast<uint32_t>(kids[parent].size());
        table.children.insert(table.children.end(), kids[parent].begin(), kids[parent].end());
    }
}

uint32_t FindMib2(const MibTable& table)
{
    uint32_t node = kMibRoot;
    for (uint32_t number : kMib2Path) {
        node = MibChildByNumber(table, node, number);
        if (node == kMibNone) {
            return kMibNone;
        }
    }
    return node;
}

}  // namespace

MibTable MibBuildTable(const MibRow* rows, size_t count, std::vector<std::string>* problems)
{
    MibTable table;
    table.nodes.push_back(MibNode{"", 0, kMibNone, 0, 0});
    // Every row is checked as it joins, against the rows before it, so a
    // refused row never becomes a node and rows below it find no parent.
    std::vector<std::vector<uint32_t>> kids(1);
    for (size_t i = 0; i < count; ++i) {
        const MibRow& row = rows[i];
        uint32_t parent = row.parent == nullptr ? kMibRoot : MibUniqueName(table, row.parent);
        std::string refusal = Refusal(table, kids, row, parent);
        if (!refusal.empty()) {
            if (problems != nullptr) {
                problems->push_back(std::move(refusal));
            }
            continue;
        }
        uint32_t index = static_cast<uint32_t>(table.nodes.size());
        table.nodes.push_back(MibNode{row.name, row.number, parent, 0, 0});
        kids.emplace_back();
        kids[parent].push_back(index);
        auto [slot, inserted] = table.byName.emplace(table.nodes.back().name, index);
        if (!inserted) {
            slot->second = kMibNone;
        }
    }
    IndexChildren(table, kids);
    table.mib2 = FindMib2(table);
    return table;
}

const MibTable& MibBuiltInTable()
{
    // Built on first use; a function-local static is initialised exactly once
    // even when threads race to it.
    static const MibTable table = [] {
        size_t count = 0;
        const MibRow* rows = MibBuiltInRows(&count);
        return MibBuildTable(rows, count, nullptr);
    }();
    return table;
}

uint32_t MibChildByNumber(const MibTable& table, uint32_t parent, uint32_t number)
{
    if (parent >= table.nodes.size()) {
        return kMibNone;
    }
    const MibNode& node = table.nodes[parent];
    auto first = table.children.begin() + node.firstChild;
    auto last = first + node.childCount;
    auto found = std::lower_bound(first, last, number, [&](uint32_t kid, uint32_t wanted) {
        return table.nodes[kid].number < wanted;
    });
    if (found == last || table.nodes[*found].number != number) {
        return kMibNone;
    }
    return *found;
}

uint32_t MibChildByName(const MibTable& table, uint32_t parent, std::string_view name)
{
    if (parent >= table.nodes.size()) {
        return kMibNone;
    }
    // A node has few children (the snmp group, the largest, has 30), so a
    // look along one run is cheaper than a second index.
    const MibNode& node = table.nodes[parent];
    for (uint32_t i = 0; i < node.childCount; ++i) {
        uint32_t kid = table.children[node.firstChild + i];
        if (table.nodes[kid].name == name) {
            return kid;
        }
    }
    return kMibNone;
}

MibSortedNames::Entry MibSortedNames::At(size_t i) const
{
    if (records_ == nullptr) {
        return held_[i];
    }
    MibNameRecord record;
    std::memcpy(&record, records_ + i * sizeof record, sizeof record);
    if (uint64_t{record.at} + record.size > text_.size()) {
        return {std::string_view(), kMibNone};
    }
    uint32_t node = record.node < nodes_ ? record.node : kMibNone;
    return {text_.substr(record.at, record.size), node};
}

uint32_t MibSortedNames::Find(std::string_view name) const
{
    size_t low = 0;
    size_t high = Size();
    while (low < high) {
        size_t middle = low + (high - low) / 2;
        if (At(middle).first < name) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    if (low < Size()) {
        Entry found = At(low);
        if (found.first == name) {
            return found.second;
        }
    }
    return kMibNone;
}

uint32_t MibUniqueName(const MibTable& table, std::string_view name)
{
    auto found = table.byName.find(name);
    if (found == table.byName.end()) {
        return table.fileNames.Find(name);
    }
    return found->second;
}

uint32_t MibModuleName(const MibTable& table, std::string_view name)
{
    return table.moduleNames.Find(name);
}
