// MIB module files read at run time: the search path, the compiled index of
// what its files define, and the name table that joins those names to the
// compiled ones. The compiled MIB-II names win wherever a file disagrees.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "names/mib_table.h"
#include "names/smi_reader.h"

// The compiled rows and the identifiers of the standard modules (SNMPv2-MIB,
// IF-MIB, SNMP-FRAMEWORK-MIB...), which imports resolve against without files.
const MibTable& MibBaseTable();

// A file of the search path as listed: where, how large, last written when.
struct MibFileStamp {
    std::string path;
    uint64_t size = 0;
    int64_t mtime = 0;
};

// Every regular file of the directories, each directory's files in name
// order, a file listed twice taken once; hidden files are not modules.
std::vector<MibFileStamp> MibListFiles(const std::vector<std::string>& dirs);

// One module file as the index keeps it: where it is, the size and time it had
// when it was read, and what it gave.
struct MibIndexedFile {
    std::string path;
    uint64_t size = 0;
    int64_t mtime = 0;
    SmiFile file;
};

// The index file: 1 when it was read whole; 0 (and `files` empty) when it is
// missing, of another format or damaged, which only means a slower start.
int MibReadIndex(const std::string& path, std::vector<MibIndexedFile>& files);
// Writes it beside its place and moves it there; 0 when that could not be done.
int MibWriteIndex(const std::string& path, const std::vector<MibIndexedFile>& files);
// Writes `bytes` aside and moves them to `path` (its folders made first), so
// that a reader never sees half a file; 0 when that could not be done.
int MibReplaceFile(const std::string& path, const std::string& bytes);

struct MibModuleTable;

// A saved table's bytes, mapped into memory where the system can, so that the
// pages no lookup touches are never read; else read whole. Empty when the
// file cannot be read. Provided by the operating system's file of this group.
class MibFileBytes {
public:
    explicit MibFileBytes(const std::string& path);
    ~MibFileBytes();
    MibFileBytes(const MibFileBytes&) = delete;
    MibFileBytes& operator=(const MibFileBytes&) = delete;

    std::string_view Bytes() const
    {
        return {data_, size_};
    }

private:
    const char* data_ = nullptr;
    size_t size_ = 0;
    std::unique_ptr<char[]> read_;  // the bytes, when they were read rather than mapped
};

// The joined table saved after a build (see mib_snapshot.cpp), and read back
// only while `stamps` are exactly the files it was built from; null otherwise.
// The build's warnings are not kept: they were told when it was made.
std::unique_ptr<MibModuleTable> MibReadSnapshot(const std::string& path,
                                                const std::vector<MibFileStamp>& stamps);
int MibWriteSnapshot(const std::string& path, const std::vector<MibFileStamp>& stamps,
                     const MibTable& table);

// A table that names the nodes of the loaded modules too. Its names point
// into `texts`, so the two live and move together behind one pointer.
struct MibModuleTable {
    std::deque<std::string> texts;
    std::unique_ptr<MibFileBytes> saved;  // the saved table, when it was read back
    MibTable table;
};

// Reads every module file of `dirs` (through the index at `indexPath` where it
// is current; no index when the path is empty) and builds the joined table.
// `warnings` receives one line per file skipped or per module with
// definitions that could not be placed, without the program's name; none
// when the table saved at the last build is still current.
std::unique_ptr<MibModuleTable> MibLoadModules(const std::vector<std::string>& dirs,
                                               const std::string& indexPath,
                                               std::vector<std::string>& warnings);

// The modules of this process's search path, loaded on first use; the
// warnings of that load go to the sink, when one is set (the tool prints them).
const MibTable& MibLoadedTable();
using MibWarningSink = void (*)(const char* warning);
void MibSetWarningSink(MibWarningSink sink);

// Provided by the operating system's file of this group: the search path
// (MIBCLI_MIBDIRS, else the usual places) and the user's cache directory for
// the index (empty when there is none).
std::vector<std::string> MibSearchDirectories();
// The folders of a list such as PATH, in order, empty entries left out.
std::vector<std::string> MibSplitPathList(const std::string& list, char separator);
std::string MibCacheDirectory();
// The regular files of one directory that are not hidden, at most `limit` of
// them, in no particular order; nothing when it cannot be read.
void MibListDirectory(const std::string& dir, size_t limit, std::vector<MibFileStamp>& files);
