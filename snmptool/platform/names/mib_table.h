// The compiled-in MIB name table: the SMI nodes of RFC 1155 and the objects of
// MIB-II (RFC 1213), as a tree that the identifier-text routines walk. The
// table is built once, on first use, and only read after that, so any thread
// may use it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// One definition as a MIB module writes it: `name ::= { parent number }`.
// A null parent places the node directly under the root (ccitt, iso,
// joint-iso-ccitt). A row may only name a parent defined in an earlier row.
struct MibRow {
    const char* name;
    const char* parent;
    uint32_t number;
};

// Node indexes. Index 0 is the unnamed root above the top-level nodes.
constexpr uint32_t kMibRoot = 0;
constexpr uint32_t kMibNone = UINT32_MAX;

struct MibNode {
    // Empty for a node that a module file's identifier passes through
    // without naming it; such a node is written as its number.
    std::string_view name;
    uint32_t number;
    uint32_t parent;
    // This node's children, ordered by number: entries [firstChild,
    // firstChild + childCount) of MibTable::children.
    uint32_t firstChild;
    uint32_t childCount;
};

// How a saved table keeps one name of a sorted list: its text as an offset and
// size in the saved text, and its node.
struct MibNameRecord {
    uint32_t at;
    uint32_t size;
    uint32_t node;
};

// Names sorted by their text, each with its node (kMibNone for a name that
// stands for several). Either held, as a build makes them, or read in place
// from a saved table's records, so that loading one costs no pass over them.
class MibSortedNames {
public:
    using Entry = std::pair<std::string_view, uint32_t>;

    MibSortedNames() = default;
    explicit MibSortedNames(std::vector<Entry> sorted) : held_(std::move(sorted)) {}
    // `count` records at `records` (any alignment) pointing into `text`, for a
    // table of `nodes` nodes. A record out of bounds reads as no name at all.
    MibSortedNames(const char* records, size_t count, std::string_view text, size_t nodes)
        : records_(records), count_(count), text_(text), nodes_(nodes)
    {
    }

    size_t Size() const
    {
        return records_ != nullptr ? count_ : held_.size();
    }
    Entry At(size_t i) const;
    // The node of `name`, or kMibNone.
    uint32_t Find(std::string_view name) const;

private:
    std::vector<Entry> held_;
    const char* records_ = nullptr;
    size_t count_ = 0;
    std::string_view text_;
    size_t nodes_ = 0;
};

struct MibTable {
    std::vector<MibNode> nodes;
    std::vector<uint32_t> children;
    // Name to node; a name defined more than once maps to kMibNone, so that it
    // never stands for one node of several.
    std::unordered_map<std::string_view, uint32_t> byName;
    // The names that module files add, sorted by name, so that a saved table
    // loads without hashing them: `fileNames` as `byName` (for names that no
    // compiled node has), `moduleNames` by "MODULE::name".
    MibSortedNames fileNames;
    MibSortedNames moduleNames;
    // mib-2 (1.3.6.1.2.1), where short names are resolved from; kMibNone when
    // the table has no such node.
    uint32_t mib2;
};

// Builds a table from rows. The names are not copied: the rows must outlive
// the table. A row is left out, with one line saying why added to `problems`
// (when given), when its name is not a MIB name (a letter, then letters,
// digits and hyphens), when its parent is unknown or defined more than once,
// or when its number or name is already taken under its parent.
MibTable MibBuildTable(const MibRow* rows, size_t count, std::vector<std::string>* problems);

// The compiled-in rows, and the table built from them on first use.
const MibRow* MibBuiltInRows(size_t* count);
const MibTable& MibBuiltInTable();

// The child of `parent` with this number or this name, or kMibNone.
uint32_t MibChildByNumber(const MibTable& table, uint32_t parent, uint32_t number);
uint32_t MibChildByName(const MibTable& table, uint32_t parent, std::string_view name);
// The node of this name when exactly one node has it, or kMibNone.
uint32_t MibUniqueName(const MibTable& table, std::string_view name);
// The node of "MODULE::name", or kMibNone.
uint32_t MibModuleName(const MibTable& table, std::string_view name);
