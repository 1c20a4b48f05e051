#include "object_store.h"

#include <fstream>
#include <sstream>

namespace {

constexpr uint32_t kTableColumns = 3;

std::string Trim(const std::string& text)
{
    size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return "";
    }
    size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// Splits "WORD WORD REST": the third field keeps its inner blanks, because a
// string value is the rest of the line as is.
void SplitLine(const std::string& line, std::string& first, std::string& second, std::string& rest)
{
    size_t a = line.find_first_not_of(" \t");
    size_t aEnd = line.find_first_of(" \t", a);
    first = line.substr(a, aEnd == std::string::npos ? std::string::npos : aEnd - a);
    second.clear();
    rest.clear();
    if (aEnd == std::string::npos) {
        return;
    }
    size_t b = line.find_first_not_of(" \t", aEnd);
    if (b == std::string::npos) {
        return;
    }
    size_t bEnd = line.find_first_of(" \t", b);
    second = line.substr(b, bEnd == std::string::npos ? std::string::npos : bEnd - b);
    if (bEnd != std::string::npos) {
        // One separator is taken; everything after it is the value.
        rest = line.substr(bEnd + 1);
    }
}

}  // namespace

bool ObjectStore::LoadFile(const std::string& path, std::string& why)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        why = "cannot read " + path;
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    return LoadText(text.str(), path, why);
}

bool ObjectStore::LoadText(const std::string& text, const std::string& origin, std::string& why)
{
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    while (std::getline(lines, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        std::string trimmed = Trim(line);
        if (trimmed.empty() || trimmed[0] == '#') {
            continue;
        }
        std::string where = origin + ":" + std::to_string(number) + ": ";
        std::string name;
        std::string type;
        std::string value;
        SplitLine(line, name, type, value);
        if (type != "string") {
            value = Trim(value);
        }
        AgentObject object;
        if (!ParseOid(name, object.name)) {
            why = where + "bad identifier '" + name + "'";
            return false;
        }
        if (type.rfind("rw:", 0) == 0) {
            object.writable = true;
            type = type.substr(3);
        }
        std::string problem;
        if (!ParseValue(type, value, object.value, problem)) {
            why = where + problem;
            return false;
        }
        if (objects_.count(object.name) != 0) {
            why = where + "identifier given twice";
            return false;
        }
        objects_.emplace(object.name, object);
    }
    return true;
}

void ObjectStore::AddTable(const Oid& base, uint32_t rows)
{
    tableBase_ = base;
    tableRows_ = rows;
}

std::optional<AgentObject> ObjectStore::TableRow(uint32_t column, uint32_t row) const
{
    AgentObject object;
    object.name = tableBase_;
    object.name.push_back(column);
    object.name.push_back(row);
    if (column == 1) {
        object.value.tag = ASN_INTEGER;
        object.value.integer = static_cast<int32_t>(row);
    } else if (column == 2) {
        object.value.tag = ASN_OCTETSTRING;
        std::string text = "row-" + std::to_string(row);
        object.value.bytes.assign(text.begin(), text.end());
    } else {
        object.value.tag = ASN_COUNTER;
        object.value.unsigned32 = row * 10u;
    }
    return object;
}

std::optional<AgentObject> ObjectStore::TableNext(const Oid& name) const
{
    if (tableRows_ == 0) {
        return std::nullopt;
    }
    size_t baseLength = tableBase_.size();
    bool underBase =
        name.size() >= baseLength && std::equal(tableBase_.begin(), tableBase_.end(), name.begin());
    if (!underBase) {
        if (CompareOids(name, tableBase_) < 0) {
            return TableRow(1, 1);
        }
        return std::nullopt;
    }
    if (name.size() == baseLength || name[baseLength] == 0) {
        return TableRow(1, 1);
    }
    uint32_t column = name[baseLength];
    if (column > kTableColumns) {
        return std::nullopt;
    }
    if (name.size() == baseLength + 1) {
        return TableRow(column, 1);
    }
    // BASE.c.r and everything below it come before BASE.c.(r+1).
    uint64_t row = static_cast<uint64_t>(name[baseLength + 1]) + 1;
    if (row <= tableRows_) {
        return TableRow(column, static_cast<uint32_t>(row));
    }
    if (column < kTableColumns) {
        return TableRow(column + 1, 1);
    }
    return std::nullopt;
}

std::optional<AgentObject> ObjectStore::MapNext(const Oid& name) const
{
    auto it = objects_.upper_bound(name);
    if (it == objects_.end()) {
        return std::nullopt;
    }
    return it->second;
}

std::optional<AgentObject> ObjectStore::Find(const Oid& name) const
{
    auto it = objects_.find(name);
    if (it != objects_.end()) {
        return it->second;
    }
    size_t baseLength = tableBase_.size();
    if (tableRows_ != 0 && name.size() == baseLength + 2 &&
        std::equal(tableBase_.begin(), tableBase_.end(), name.begin())) {
        uint32_t column = name[baseLength];
        uint32_t row = name[baseLength + 1];
        if (column >= 1 && column <= kTableColumns && row >= 1 && row <= tableRows_) {
            return TableRow(column, row);
        }
    }
    return std::nullopt;
}

std::optional<AgentObject> ObjectStore::Next(const Oid& name) const
{
    std::optional<AgentObject> fromMap = MapNext(name);
    std::optional<AgentObject> fromTable = TableNext(name);
    if (!fromMap) {
        return fromTable;
    }
    if (!fromTable) {
        return fromMap;
    }
    return CompareOids(fromMap->name, fromTable->name) < 0 ? fromMap : fromTable;
}

void ObjectStore::Store(const Oid& name, const AgentValue& value)
{
    auto it = objects_.find(name);
    if (it != objects_.end()) {
        it->second.value = value;
    }
}

void ObjectStore::Put(const AgentObject& object)
{
    objects_[object.name] = object;
}
