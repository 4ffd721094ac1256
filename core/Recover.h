// Recovery of a recording that ended in a crash. A run appends its frame records after the
// project's committed index and commits a new index only at its end; a crash before that
// leaves the project as it was before the run, with the new records lying one after another
// behind the old index. RecoverProject finds them, checks each one (signature, sizes, a key
// frame that inflates to the image size, a difference frame whose block flags account for
// its data), adds those up to the first damaged one as frames and commits the index in the
// crash-safe order: tables and element block after the last record, flush, then the header.
#pragma once

#include <cstdint>
#include <string>

namespace zov {

struct RecoverResult {
    int32_t framesBefore = 0; // frames the committed index held
    int32_t recovered = 0;    // frames added
    int64_t firstRecord = -1; // offset of the first recovered record, -1 when none
    std::string message;      // one sentence for the user (success or failure)
};

// Works on the file at `path` directly; it must not be open in the document. True when the
// file was checked and, where records were found, its index was committed (recovered may be
// 0 when there was nothing to add). False with the reason in result.message when the file is
// not a project or cannot be written; the file then stays as it was.
[[nodiscard]] bool RecoverProject(const std::string& path, RecoverResult& result);

} // namespace zov
