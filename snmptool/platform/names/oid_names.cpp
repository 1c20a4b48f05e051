// Object identifiers to and from their text: dotted numbers, MIB names, or
// both mixed. A walk names every binding it prints, so the text is measured
// first and then written once into a buffer of exactly its size.
#include "ber/ber_writer.h"
#include "names/mib_modules.h"
#include "names/oid_names.h"

#include <atomic>
#include <charconv>
#include <cstring>
#include <string_view>

namespace {

// The sub-identifiers of a text being read; never more than an identifier
// may hold.
struct OidBuilder {
    uint32_t ids[kMaxOidLength];
    uint32_t count = 0;
};

bool Append(OidBuilder& builder, uint32_t id)
{
    if (builder.count >= kMaxOidLength) {
        return false;
    }
    builder.ids[builder.count++] = id;
    return true;
}

// The numbers from the root down to `node`.
bool AppendPath(const MibTable& table, uint32_t node, OidBuilder& builder)
{
    uint32_t reversed[kMaxOidLength];
    uint32_t depth = 0;
    for (; node != kMibRoot; node = table.nodes[node].parent) {
        if (depth >= kMaxOidLength) {
            return false;
        }
        reversed[depth++] = table.nodes[node].number;
    }
    while (depth > 0) {
        if (!Append(builder, reversed[--depth])) {
            return false;
        }
    }
    return true;
}

// A component made only of decimal digits is a number; it must fit in 32
// bits. Signs, blanks and anything else make it a name.
bool IsNumber(std::string_view component)
{
    return !component.empty() &&
           component.find_first_not_of("0123456789") == std::string_view::npos;
}

bool ParseNumber(std::string_view component, uint32_t& value)
{
    auto [end, error] =
        std::from_chars(component.data(), component.data() + component.size(), value);
    return error == std::errc() && end == component.data() + component.size();
}

// Reads one component below `node` (kMibNone once the text has gone past
// the names the table knows, where only numbers can follow).
bool ReadComponent(const MibTable& table, std::string_view component, uint32_t& node,
                   OidBuilder& builder)
{
    if (IsNumber(component)) {
        uint32_t number = 0;
        if (!ParseNumber(component, number)) {
            return false;
        }
        node = (node == kMibNone) ? kMibNone : MibChildByNumber(table, node, number);
        return Append(builder, number);
    }
    if (node == kMibNone) {
        return false;
    }
    node = MibChildByName(table, node, component);
    if (node == kMibNone) {
        return false;
    }
    return Append(builder, table.nodes[node].number);
}

// Where a text that begins with a name is read from: the identifier so far
// and the node reached. Fails when the name leads nowhere.
bool ReadLeadingName(const MibTable& table, std::string_view name, uint32_t& node,
                     OidBuilder& builder)
{
    uint32_t start = MibChildByName(table, table.mib2, name);
    if (start == kMibNone) {
        start = MibChildByName(table, kMibRoot, name);
    }
    if (start == kMibNone) {
        start = MibUniqueName(table, name);
    }
    if (start == kMibNone) {
        return false;
    }
    node = start;
    return AppendPath(table, start, builder);
}

bool ReadText(const MibTable& table, std::string_view text, OidBuilder& builder)
{
    bool fromRoot = !text.empty() && text.front() == '.';
    if (fromRoot) {
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return false;
    }
    uint32_t node = kMibRoot;
    bool first = true;
    // MODULE::name, as the module files define it.
    size_t colons = text.find("::");
    if (!fromRoot && colons != std::string_view::npos && colons < text.find('.')) {
        size_t dot = text.find('.');
        node = MibModuleName(table, text.substr(0, dot));
        if (node == kMibNone || !AppendPath(table, node, builder)) {
            return false;
        }
        if (dot == std::string_view::npos) {
            return true;
        }
        text.remove_prefix(dot + 1);
        first = false;
        if (text.empty()) {
            return false;
        }
    }
    for (;;) {
        size_t dot = text.find('.');
        std::string_view component = text.substr(0, dot);
        if (component.empty()) {
            return false;
        }
        bool read = (first && !fromRoot && !IsNumber(component))
                        ? ReadLeadingName(table, component, node, builder)
                        : ReadComponent(table, component, node, builder);
        if (!read) {
            return false;
        }
        first = false;
        if (dot == std::string_view::npos) {
            return true;
        }
        text.remove_prefix(dot + 1);
        if (text.empty()) {
            return false;
        }
    }
}

bool HasName(const MibTable& table, uint32_t node)
{
    return node != kMibNone && !table.nodes[node].name.empty();
}

// How one sub-identifier is written: its name when `node` has one, its
// number otherwise.
size_t ComponentLength(const MibTable& table, uint32_t node, uint32_t id)
{
    if (HasName(table, node)) {
        return table.nodes[node].name.size();
    }
    char digits[10];
    return static_cast<size_t>(std::to_chars(digits, digits + sizeof(digits), id).ptr - digits);
}

char* WriteComponent(const MibTable& table, uint32_t node, uint32_t id, char* out)
{
    if (HasName(table, node)) {
        std::string_view name = table.nodes[node].name;
        std::memcpy(out, name.data(), name.size());
        return out + name.size();
    }
    // Room was measured by ComponentLength; 10 digits hold any 32-bit number.
    return std::to_chars(out, out + 10, id).ptr;
}

// Names the sub-identifiers from the front for as long as the table knows
// them: named[i] is the node of ids[i], for i < the returned depth.
uint32_t NamePrefix(const MibTable& table, const AsnObjectIdentifier& oid,
                    uint32_t (&named)[kMaxOidLength])
{
    uint32_t node = kMibRoot;
    uint32_t depth = 0;
    while (depth < oid.count && depth < kMaxOidLength) {
        node = MibChildByNumber(table, node, oid.ids[depth]);
        if (node == kMibNone) {
            break;
        }
        named[depth++] = node;
    }
    return depth;
}

}  // namespace

int MibTextToOid(const MibTable& table, const char* text, AsnObjectIdentifier* oid)
{
    if (text == nullptr || oid == nullptr) {
        SetLastError(ERROR_BAD_ARGUMENT);
        return 0;
    }
    *oid = AsnObjectIdentifier{0, nullptr};
    OidBuilder builder;
    BerOidArcs arcs{};
    // An identifier the codec cannot put on the wire (a first arc above 2, or
    // a second of 40 or more under 0 and 1) is no identifier to ask for.
    if (!ReadText(table, text, builder) ||
        !BerOidArcsOf(AsnObjectIdentifier{builder.count, builder.ids}, arcs)) {
        // Not an identifier: the caller's own message says so; there is no
        // system error to report with it.
        SetLastError(0);
        return 0;
    }
    auto* ids = static_cast<uint32_t*>(SnmpUtilMemAlloc(builder.count * sizeof(uint32_t)));
    if (ids == nullptr) {
        return 0;
    }
    std::memcpy(ids, builder.ids, builder.count * sizeof(uint32_t));
    *oid = AsnObjectIdentifier{builder.count, ids};
    return 1;
}

int MibOidToText(const MibTable& table, const AsnObjectIdentifier* oid, char** text)
{
    if (text == nullptr) {
        SetLastError(ERROR_BAD_ARGUMENT);
        return 0;
    }
    *text = nullptr;
    if (oid == nullptr || (oid->count > 0 && oid->ids == nullptr)) {
        SetLastError(ERROR_BAD_ARGUMENT);
        return 0;
    }
    if (oid->count == 0) {
        SetLastError(0);
        return 0;
    }
    uint32_t named[kMaxOidLength];
    uint32_t depth = NamePrefix(table, *oid, named);

    // Relative to mib-2 only when the text can lead back there: the first
    // sub-identifier below mib-2 must have a name that reads from mib-2.
    uint32_t mib2Depth = 0;
    for (uint32_t i = 0; i < depth; ++i) {
        if (named[i] == table.mib2) {
            mib2Depth = i + 1;
            break;
        }
    }
    bool relative = mib2Depth > 0 && depth > mib2Depth && HasName(table, named[mib2Depth]);
    uint32_t first = relative ? mib2Depth : 0;

    size_t length = relative ? 0 : 1;
    for (uint32_t i = first; i < oid->count; ++i) {
        uint32_t node = i < depth ? named[i] : kMibNone;
        length += ComponentLength(table, node, oid->ids[i]) + (i > first ? 1 : 0);
    }
    // Zero-filled, so the terminator is already in place.
    auto* buffer = static_cast<char*>(SnmpUtilMemAlloc(length + 1));
    if (buffer == nullptr) {
        return 0;
    }
    char* out = buffer;
    if (!relative) {
        *out++ = '.';
    }
    for (uint32_t i = first; i < oid->count; ++i) {
        if (i > first) {
            *out++ = '.';
        }
        uint32_t node = i < depth ? named[i] : kMibNone;
        out = WriteComponent(table, node, oid->ids[i], out);
    }
    *text = buffer;
    return 1;
}

namespace {

// The table with the module files' names once they have been loaded. They are
// loaded only when a name is needed that the compiled table cannot give, so
// that a run about MIB-II opens no module file at all.
std::atomic<const MibTable*> gModulesTable{nullptr};

const MibTable& ModulesTable()
{
    const MibTable* table = gModulesTable.load();
    if (table == nullptr) {
        table = &MibLoadedTable();
        gModulesTable.store(table);
    }
    return *table;
}

// Whether the compiled table names the identifier as fully as any module
// could: every sub-identifier named, or an object of MIB-II (a leaf at least
// two below mib-2) followed by its instance.
bool CompiledNamesAll(const AsnObjectIdentifier* oid)
{
    const MibTable& table = MibBuiltInTable();
    uint32_t named[kMaxOidLength];
    uint32_t depth = NamePrefix(table, *oid, named);
    if (depth == oid->count) {
        return true;
    }
    if (depth == 0 || table.nodes[named[depth - 1]].childCount > 0) {
        return false;
    }
    for (uint32_t i = 0; i + 2 < depth; ++i) {
        if (named[i] == table.mib2) {
            return true;
        }
    }
    return false;
}

}  // namespace

int SnmpMgrStrToOid(const char* text, AsnObjectIdentifier* oid)
{
    const MibTable* loaded = gModulesTable.load();
    if (loaded != nullptr) {
        return MibTextToOid(*loaded, text, oid);
    }
    int read = MibTextToOid(MibBuiltInTable(), text, oid);
    if (read == 1 || text == nullptr || oid == nullptr || GetLastError() != 0) {
        return read;
    }
    return MibTextToOid(ModulesTable(), text, oid);
}

int SnmpMgrOidToStr(const AsnObjectIdentifier* oid, char** text)
{
    const MibTable* loaded = gModulesTable.load();
    if (loaded == nullptr && oid != nullptr && (oid->count == 0 || oid->ids != nullptr) &&
        !CompiledNamesAll(oid)) {
        loaded = &ModulesTable();
    }
    return MibOidToText(loaded != nullptr ? *loaded : MibBuiltInTable(), oid, text);
}
