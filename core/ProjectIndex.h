// A project's index: the header, the frame table and the three further tables behind the
// frame data, the element block after them, and the header journal kept at the end of the
// file while a new header goes to disk. Opening a project, every commit of the document and
// recovery after a crash read, check and write the index through these functions only.
#pragma once

#include "base/BinFile.h"
#include "core/ProjectRecords.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zov {

class CElementList;

// The journal: a copy of the header about to be written, kept at the end of the file until
// the header is on disk, so that a header torn by a crash can be put back on the next open.
struct HeaderJournal {
    char magic[4]; // "ZOVJ"
    ProjectHeader header;
    uint32_t crc; // crc32 of header
    char end[4];  // "JEND"
};
static_assert(sizeof(HeaderJournal) == 160);

// The tables an index holds; each vector's size is its capacity (at least the count).
struct IndexTables {
    std::vector<FrameEntry> frames;
    std::vector<Table2Record> t2;
    std::vector<Table3Record> t3;
    std::vector<Table4Record> t4;
};

// An index as read from a file.
struct LoadedIndex {
    IndexTables tables;
    std::unique_ptr<CElementList> elements;
    int64_t blockOffset = 0; // of the element block
    int64_t indexEnd = 0;    // first byte after the element block
};

enum class HeaderCheck {
    Ok,
    NotProject,  // too short, or not "VOKA"
    OldVersion,  // below the oldest version this program reads
    Unsupported, // a block width, pixel depth or bit count the frame format does not use
};

// Reads the 148-byte header at 0 and checks magic, version and the fields that decide how
// frames decode.
HeaderCheck ReadProjectHeader(BinFile& f, int64_t length, ProjectHeader& out);
HeaderCheck CheckProjectHeader(const ProjectHeader& h);
// The version test of open: signed, as the files' own writers compared it.
bool IsOldProjectVersion(uint32_t version);
// The sentence for an unsupported header (block width, bits, bit count named).
std::string UnsupportedHeaderText(const ProjectHeader& h);

// Bytes of the four tables a header counts.
int64_t IndexTablesBytes(const ProjectHeader& h);

// A frame's geometry the frame format can hold (true for a project without frames).
bool IndexGeometryOk(const ProjectHeader& h);

// Reads the tables and the element block a header points to. Every count and offset is
// checked against the file length before anything is allocated.
bool ReadIndex(BinFile& f, const ProjectHeader& h, int64_t length, LoadedIndex& out);

// The entry checks of check file: each of the first `count` entries must point at a record
// inside the file whose size fits. With `log` each failure writes its log line; `failed`
// gets the index of the entry that failed.
bool CheckIndexEntries(BinFile& f, const std::vector<FrameEntry>& frames, int32_t count, int64_t length,
                       bool log, int32_t* failed = nullptr, const std::atomic<bool>* cancel = nullptr);

// The journal at the end of the file, if one is there and sound.
bool ReadHeaderJournal(BinFile& f, int64_t length, ProjectHeader& out);

// Reads and checks the whole index of an open file. When the header's index does not pass
// and the journal's does, the journal's header and index are taken and `fromJournal` is set.
// `checkOk` false with a true result: the index reads but an entry fails (a damaged file).
// A set `cancel` stops the check of a big index early: the result is then false.
bool LoadProjectIndex(BinFile& f, int64_t length, ProjectHeader& h, LoadedIndex& out, bool& checkOk,
                      bool& fromJournal, const std::atomic<bool>* cancel = nullptr);

// Puts a header taken from the journal back at 0 and cuts what lies after its index.
bool RepairHeaderFromJournal(BinFile& f, const ProjectHeader& h, int64_t indexEnd);

// Bytes an index of this header and element list takes (tables and element block).
int64_t IndexBytes(const ProjectHeader& h, const CElementList& elements);

struct IndexCommit {
    int64_t blockOffset = 0; // where the element block went
    int64_t end = 0;         // first byte after it; the file is cut there
};

// Commits an index at `at` in the crash-safe order: tables and element block at `at` (after
// every byte the header on disk refers to), the journal behind everything, a flush, the
// header (frameDataEnd = at), a flush, then the file cut after the new index. A crash at any
// point leaves the old or the new index in force. `header` is written as given except for
// frameDataEnd. False (with a log line, and `tooLarge` set when the index would pass 2 GiB)
// leaves the old index in force.
bool CommitIndex(BinFile& f, const ProjectHeader& header, const std::vector<FrameEntry>& frames,
                 const std::vector<Table2Record>& t2, const std::vector<Table3Record>& t3,
                 const std::vector<Table4Record>& t4, const CElementList& elements, int64_t at,
                 IndexCommit& out, bool* tooLarge = nullptr);

} // namespace zov
