// Text import and export of the table manager: a new table from a text file of numbers in
// columns, and the open table written as text.
//
// Both commands are a conversation (a warning to confirm, file dialogs, a question before a
// file is replaced, messages): they talk through TTextTransferHost, which the table manager
// window answers with its dialogs and the command line from its arguments, so that both run
// the same import and the same export.
//
// The import cleans every line of the source (comma.h) into the temporary file "TmpF%#@.DB@"
// beside it, counts the columns n there, and builds a Paradox table of n real fields
// "Var. 1" ... "Var. n" from the numbers of that file. The temporary file is removed however
// the import ends. The table is written once, complete, through the safe rewrite of the table
// layer: a failure leaves a file that was there before as it was.
//
// The export writes a line of the field names, each followed by a blank, then one line per
// record: a blank value as ". ", any other value as its text followed by two blanks; lines end
// in CR LF. Reals are written in the General layout of the report with the decimal separator
// the caller gives (the system's in the window, "." on the command line), so a file written
// under a decimal comma does not import back.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "tables/datatable.h"

namespace qv {

// The temporary file of an import, beside the source.
inline constexpr const char* kImportTempName = "TmpF%#@.DB@";

// Texts and dialog settings of the two commands, for the window.
extern const char* const kImportWarning;       // the first box of the import (OK, Cancel)
extern const char* const kNoFileSelected;      // the source dialog was cancelled
extern const char* const kFileExistsQuestion;  // before the export replaces a file (Yes, No)
inline constexpr const char* kImportSourceFilter = "Text files *.*|";  // OpenDialogImp
inline constexpr const char* kTableFileFilter = "DB|*.DB;*.db";        // SaveDialog1
inline constexpr const char* kImportDefaultExtension = "DB";           // set on SaveDialog1

// Who answers the import and the export.
class TTextTransferHost {
 public:
  virtual ~TTextTransferHost() = default;

  // A warning box with OK and Cancel: true for OK.
  virtual bool WarnOkCancel(const std::string& text) = 0;
  // A warning box with Yes and No: true for Yes.
  virtual bool WarnYesNo(const std::string& text) = 0;
  // A plain message box.
  virtual void ShowMessage(const std::string& text) = 0;
  // An error that ended the command (a file that cannot be read or written, a value the import
  // cannot read): shown as it is; lines are separated by "\r".
  virtual void ShowError(const std::string& text) = 0;

  // The source of an import (OpenDialogImp, filter kImportSourceFilter); nothing if cancelled.
  virtual std::optional<std::string> ChooseImportSource() = 0;
  // The new table of an import: SaveDialog1 with its default extension set to
  // kImportDefaultExtension (which stays set for its later uses) and filter kTableFileFilter;
  // the dialog itself asks before an existing file is replaced. Nothing if cancelled.
  virtual std::optional<std::string> ChooseImportTable() = 0;
  // The text file of an export: SaveDialog1 as it is (filter kTableFileFilter, its default
  // extension unchanged), asking before replacing a file. Nothing if cancelled.
  virtual std::optional<std::string> ChooseExportFile() = 0;
  // The table manager's open-table routine, for an export with no open table: the table is
  // open afterwards if the user chose one that opens.
  virtual void OpenTableDialog(TDataTable& table) = 0;

  // The grid stops showing the table before the command changes it and shows it again, as it
  // then is, afterwards. Called in pairs, however the command ends.
  virtual void SuspendDisplay() {}
  virtual void ResumeDisplay() {}
};

enum class TTransferStatus {
  Done,       // the table or the file was written
  Cancelled,  // the user stopped it at a box or a dialog: nothing written
  Stopped,    // the import met a value it cannot read; the records before it were kept
  Failed,     // an error, shown through the host: nothing written
};

struct TImportOutcome {
  TTransferStatus status = TTransferStatus::Cancelled;
  std::string table;  // the table created
  std::size_t fields = 0, records = 0;
};

struct TExportOutcome {
  TTransferStatus status = TTransferStatus::Cancelled;
  std::string file;
  std::size_t records = 0;
};

// --- the steps, without dialogs --------------------------------------------------------------

// The cleaned temporary file of a source and its number of columns n (the most tokens on any
// cleaned line; 0 when there is none).
struct TPreparedImport {
  bool cancelled = false;
  std::size_t columns = 0;
  std::string sourcePath;
  std::string tempPath;
};
// Writes the temporary file beside the source: one line for each line of the source (lines
// end in CR LF, LF or a lone CR), the line's cleaned text or nothing. Throws TableError naming
// the file when the source cannot be read or the temporary file written (and then leaves no
// temporary file).
TPreparedImport PrepareImportFile(const std::string& sourcePath);
// The same with the source chosen through the host; cancelled when none is chosen.
TPreparedImport PrepareImport(TTextTransferHost& host);

// The text of a real in an export.
using TRealLayout = std::function<std::string(double)>;
// The export of an open table into the file at path, replaced only by the complete text (the
// safe rewrite); the cursor and any record being edited are left alone. Throws TableError.
void WriteTableText(const TDataTable& table, const std::string& path, const TRealLayout& real);

// --- the menu commands -----------------------------------------------------------------------

// "&Importar": builds a table from a text file, leaves it open in `table` (closed first if it
// was open) and shows every message through the host. `type` is the format of the new table:
// Paradox in the window; the command line takes it from the name's extension.
TImportOutcome ImportTextCommand(TDataTable& table, TTextTransferHost& host,
                                 TableType type = TableType::Paradox);
// "&Exportar": writes the open table (or the one the user opens) as text.
TExportOutcome ExportTextCommand(TDataTable& table, TTextTransferHost& host,
                                 const TRealLayout& real);

}  // namespace qv
