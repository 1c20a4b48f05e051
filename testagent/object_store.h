// The agent's objects, in the lexicographic order of their identifiers: those
// of an object file, and optionally a table generated in memory.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "agent_value.h"

struct AgentObject {
    Oid name;
    AgentValue value;
    bool writable = false;
};

class ObjectStore {
public:
    // Reads an object file (testagent/README.md). False with `why` naming the line.
    bool LoadFile(const std::string& path, std::string& why);
    // Parses object-file text; `origin` names it in messages.
    bool LoadText(const std::string& text, const std::string& origin, std::string& why);
    // Adds a read-only table of `rows` rows under `base`: columns 1 INTEGER N,
    // 2 OCTET STRING "row-N", 3 Counter N*10. Computed on demand, so that a
    // table of any length costs no memory.
    void AddTable(const Oid& base, uint32_t rows);

    std::optional<AgentObject> Find(const Oid& name) const;
    // The first object whose identifier is greater than `name`.
    std::optional<AgentObject> Next(const Oid& name) const;
    // Replaces the value of an existing writable object.
    void Store(const Oid& name, const AgentValue& value);
    // Adds the object, or replaces one of the same name.
    void Put(const AgentObject& object);

private:
    struct OidLess {
        bool operator()(const Oid& a, const Oid& b) const
        {
            return CompareOids(a, b) < 0;
        }
    };
    std::optional<AgentObject> TableRow(uint32_t column, uint32_t row) const;
    std::optional<AgentObject> TableNext(const Oid& name) const;
    std::optional<AgentObject> MapNext(const Oid& name) const;

    std::map<Oid, AgentObject, OidLess> objects_;
    Oid tableBase_;
    uint32_t tableRows_ = 0;
};
