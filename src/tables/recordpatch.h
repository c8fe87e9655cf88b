// Writing one record of a table in place, so that a crash at any moment loses at most that record's
// new values.
//
// Paradox and dBase keep every record in a fixed number of bytes at a fixed place, so an edited
// record can be written over its old bytes instead of rewriting a file of tens of megabytes
// (the whole rewrite of a 600 × 600 dBase table takes a quarter of a second and grows with the
// file). Overwriting in place has one danger the whole rewrite has not: a write cut short by a
// crash or a power failure (a "torn" write: the disk stores the record's bytes sector by
// sector) can leave a record that is half old, half new, with numbers that are neither. So the
// old bytes are kept first in a small undo journal beside the table, in the manner of SQLite's
// rollback journal:
//
//   1. the journal (which file, where, the old and the new bytes, a checksum) is written,
//      fsynced, and its directory fsynced;
//   2. the new bytes are written over the record with one pwrite, and the table fsynced;
//   3. the journal is removed and the directory fsynced.
//
// What a crash leaves, by the moment it strikes:
//   - before the journal is complete: a journal with a bad checksum, or none, and the table
//     untouched; the journal is ignored and removed;
//   - during step 2: the record old, new, or a mix of the two sector by sector; the journal
//     puts the old bytes back;
//   - after step 2: the record new and the journal still there; it is simply removed.
// The recovery runs when the table is next opened (RecoverRecordPatch), before it is read. A
// program other than this one that opens the table before then sees, in the torn case only,
// that one record half written; every other record is untouched in every case.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tables/safefile.h"

namespace qv::detail {

// The journal of the table at path (beside it, hidden): ".~NAME.journal".
std::string JournalPath(const std::string& path);

// Writes newBytes at offset of the table at path through the journal. The table must still be
// the file `expected` (same file, size and time of change) and hold oldBytes at offset; if it is
// not, nothing is written and nothing is returned (the caller then rewrites the whole file).
// Returns the identity of the table after the write. Throws TableError when a step fails; the
// record is then put back as it was, or, when even that fails, left to the journal.
std::optional<FileIdentity> PatchRecord(const std::string& path, const FileIdentity& expected,
                                        std::uint64_t offset, const std::string& oldBytes,
                                        const std::string& newBytes);

// Finishes a record write that a crash interrupted (see above). Nothing to do without a journal.
// Throws TableError when a half-written record must be put back and cannot be.
void RecoverRecordPatch(const std::string& path);

}  // namespace qv::detail
