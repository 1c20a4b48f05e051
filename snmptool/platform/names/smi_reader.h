// The reader of SMI module files (SMIv1 and SMIv2, RFC 1155, 1212, 1215 and
// 2578 to 2580). It keeps only what places names in the identifier tree: the
// module's name, its IMPORTS, and every definition that assigns an identifier.
// Types, textual conventions, descriptions and macro bodies are skipped
// without being understood.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// One component of a value after its first: `7`, or `dod(6)` with a label.
struct SmiArc {
    uint32_t number;
    std::string label;
};

// `name ... ::= { parent arcs... }`. An empty parent means the value starts
// at the root (`{ 1 3 6 }`). An SMIv1 TRAP-TYPE is kept as its enterprise
// with the arcs 0 and the trap's number, as SNMPv2 names such traps.
struct SmiDefinition {
    std::string name;
    std::string parent;
    std::vector<SmiArc> arcs;
    bool trap = false;
    uint32_t line = 0;
};

struct SmiImport {
    std::string module;
    std::vector<std::string> symbols;
};

struct SmiModule {
    std::string name;
    std::vector<SmiImport> imports;
    std::vector<SmiDefinition> definitions;
};

// What a file gave: its modules, or why it was refused and on which line.
struct SmiFile {
    std::vector<SmiModule> modules;
    std::string error;
    uint32_t errorLine = 0;
};

// Limits that keep a hostile file's cost bounded.
constexpr size_t kSmiMaxFileBytes = 8u << 20;
constexpr uint32_t kSmiMaxNesting = 64;
constexpr size_t kSmiMaxArcs = 128;

// Reads every module of a file's text. 1 when at least one module was read;
// 0 with `file.error` and `file.errorLine` set otherwise.
int SmiReadText(std::string_view text, SmiFile& file);
