// A seam for testing what a failure in the middle of writing a table does.
//
// Every step that changes a table file on disk (creating the temporary file, each write, each
// fsync, the rename, the journal of an in-place write) first asks IoFault. Normally no hook is
// set and it answers 0 at once. A test sets a hook to make one chosen step fail with an errno
// (an I/O error, a full disk) or to end the process there (a crash), and checks that the table
// is then either exactly the old file or the complete new one.
#pragma once

#include <functional>

namespace qv::detail {

enum class IoStep {
  CreateTemp,     // the temporary file beside the table
  WriteTemp,      // a write into it
  SyncTemp,       // its fsync
  CloseTemp,      // its close
  RenameTemp,     // the rename over the table
  SyncDirectory,  // the fsync of the directory after a rename, a journal's creation or removal
  WriteJournal,   // the undo journal of an in-place record write
  SyncJournal,
  WriteRecord,  // the record written in place
  SyncRecord,
  RemoveJournal,
};

// Returns 0 to let the step go on, or an errno value for the step to fail with.
using IoFaultHook = std::function<int(IoStep)>;

// An empty hook removes the one set.
void SetIoFaultHook(IoFaultHook hook);
int IoFault(IoStep step);

}  // namespace qv::detail
