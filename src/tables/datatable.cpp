#include "tables/datatable.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <filesystem>
#include <new>
#include <optional>
#include <utility>

#include "tables/fieldnames.h"
#include "tables/realtext.h"
#include "tables/recordpatch.h"
#include "tables/safefile.h"
#include "tables/tablebackend.h"
#include "tables/tablestore.h"

namespace qv {

bool TValue::ToReal(double& out) const {
  switch (kind_) {
    case Kind::Number:
      out = number_;
      return true;
    case Kind::Text:
      return ParseReal(text_, out);
    case Kind::Blank:
      break;
  }
  return false;
}

TableType TypeFromExtension(const std::string& path) {
  const std::string ext = detail::LowerAscii(std::filesystem::path(path).extension().string());
  if (ext == ".db") return TableType::Paradox;
  if (ext == ".dbf") return TableType::DBase;
  if (ext == ".csv") return TableType::Csv;
  return TableType::Auto;
}

namespace {

using detail::LowerAscii;
using detail::ThrowTableError;

enum class EditState { Browse, Edit, Insert };

std::unique_ptr<detail::TableBackend> MakeBackend(TableType type) {
  switch (type) {
    case TableType::Paradox:
      return detail::MakeParadoxBackend();
    case TableType::DBase:
      return detail::MakeDBaseBackend();
    case TableType::Csv:
      return detail::MakeCsvBackend();
    case TableType::Auto:
      break;
  }
  return nullptr;
}

// The format a file name's extension says; throws TableError for another extension.
TableType TypeOfPath(const std::string& path) {
  const TableType type = TypeFromExtension(path);
  if (type != TableType::Auto) return type;
  ThrowTableError(path,
                  "tipo de tabela desconhecido: o nome do arquivo deve terminar em .db "
                  "(Paradox), .dbf (dBase) ou .csv.");
}

// Writes a whole table into the file at path through the safe rewrite.
void WriteWholeFile(detail::TableBackend& backend, const detail::TableData& data,
                    const std::string& path) {
  std::string written;
  try {
    detail::SafeFile out(path);
    written = out.Path();
    backend.Write(data, out);
    out.Commit();
  } catch (const TableError&) {
    throw;
  } catch (const std::bad_alloc&) {
    ThrowTableError(path, "memória insuficiente para gravar a tabela. O arquivo não foi alterado.");
  } catch (const std::exception& e) {
    ThrowTableError(path, std::string(e.what()) + " O arquivo não foi alterado.");
  }
  // The new version is in place: a journal of the old one has nothing left to undo.
  detail::RemoveIfPresent(detail::JournalPath(written));
  backend.AfterReplace(written);
}

// Field names must be there and differ (the engines compare them without regard to case).
void CheckDefinitions(const std::string& path, const std::vector<FieldDef>& defs) {
  if (defs.empty()) ThrowTableError(path, "a tabela deve ter ao menos um campo.");
  for (std::size_t i = 0; i < defs.size(); ++i) {
    if (defs[i].name.empty()) {
      ThrowTableError(path, "o campo " + std::to_string(i + 1) + " não tem nome.");
    }
    if (defs[i].type == FieldType::String && defs[i].size < 1) {
      ThrowTableError(path, "o campo de texto \"" + defs[i].name + "\" não tem tamanho.");
    }
    for (std::size_t j = 0; j < i; ++j) {
      if (LowerAscii(defs[i].name) == LowerAscii(defs[j].name)) {
        ThrowTableError(path, "há dois campos chamados \"" + defs[i].name + "\".");
      }
    }
  }
}

// When a file fails to open as its extension says, a word on whether it looks like another
// format: a table renamed by hand is a common cause.
std::string FormatHint(const std::string& path, TableType tried) {
  std::size_t size = 0;
  std::string head;
  try {
    head = detail::ReadFileHead(path, 4096, size);
  } catch (const TableError&) {
    return {};
  }
  for (const TableType other : {TableType::Paradox, TableType::DBase}) {
    if (other == tried) continue;
    const auto backend = MakeBackend(other);
    if (backend->Detect(head)) {
      return std::string(" O conteúdo parece ser de uma tabela ") + backend->FormatName() +
             ": a extensão do nome do arquivo está certa?";
    }
  }
  return {};
}

}  // namespace

struct TDataTable::Impl {
  std::string name;
  TableType type = TableType::Auto;
  std::vector<FieldDef> defs;

  bool open = false;
  std::unique_ptr<detail::TableBackend> backend;
  detail::TableData data;

  // The cursor: the current record and the end flag. After Last, or Next on the last record,
  // the current record stays the last one and the flag is set, so that a loop that reads
  // until the end flag never reads past the table.
  std::size_t pos = 0;
  bool eof = true;

  // The edit buffer: the record being edited or inserted, whole, so that Cancel simply drops
  // it and a failed Post leaves the stored records as they were.
  EditState state = EditState::Browse;
  std::vector<TValue> buffer;
  bool modified = false;
  std::size_t insertAt = 0;

  int batchDepth = 0;
  bool unsaved = false;  // records changed in memory and not yet in the file

  std::size_t Rows() const { return data.RowCount(); }

  void RequireOpen() const {
    if (!open) ThrowTableError(name, "a tabela não está aberta.");
  }

  void RequireClosed(const char* what) const {
    if (open) ThrowTableError(name, std::string("feche a tabela antes de ") + what + ".");
  }

  void CheckField(int i) const {
    RequireOpen();
    if (i < 0 || static_cast<std::size_t>(i) >= data.fields.size()) {
      ThrowTableError(name, "o campo " + std::to_string(i + 1) + " não existe (a tabela tem " +
                                std::to_string(data.fields.size()) + ").");
    }
  }

  std::vector<TValue> RowValues(std::size_t row) const {
    std::vector<TValue> values;
    values.reserve(data.columns.size());
    for (const detail::Column& c : data.columns) values.push_back(c.Get(row));
    return values;
  }

  void StoreRow(std::size_t row, const std::vector<TValue>& values) {
    for (std::size_t i = 0; i < values.size(); ++i) data.columns[i].Set(row, values[i]);
  }

  void InsertRow(std::size_t row, const std::vector<TValue>& values) {
    for (std::size_t i = 0; i < values.size(); ++i) data.columns[i].Insert(row, values[i]);
    data.sourceLines.Clear();
  }

  void EraseRow(std::size_t row) {
    for (detail::Column& c : data.columns) c.Erase(row);
    data.sourceLines.Clear();
  }

  // Writes the whole table as it is in memory; see SafeFile for the safety of the old file.
  void WriteFile() {
    WriteWholeFile(*backend, data, name);
    unsaved = false;
    data.sourceLines.Clear();  // the records now lie where the new file has them
  }

  // Writes record `row`, stored with its new values (its old ones in `previous`), over its old
  // bytes in the file. False, with nothing written, when the file does not allow it (another
  // format, a layout of another program, a file changed since it was read, changes of a batch
  // not yet written); the caller then rewrites the whole file.
  bool WriteInPlace(std::size_t row, const std::vector<TValue>& previous) {
    detail::RecordPlaces* places = backend->Places();
    if (unsaved || !places || places->rows != Rows() || row >= Rows()) return false;
    std::string newBytes, oldBytes;
    backend->EncodeRecord(data, row, name, newBytes);  // a refused value throws here
    const std::vector<TValue> current = RowValues(row);
    StoreRow(row, previous);
    bool encoded = true;
    try {
      backend->EncodeRecord(data, row, name, oldBytes);
    } catch (const TableError&) {
      encoded = false;
    }
    StoreRow(row, current);
    if (!encoded) return false;
    const std::optional<detail::FileIdentity> after =
        detail::PatchRecord(name, places->file, places->OffsetOf(row), oldBytes, newBytes);
    if (!after) return false;
    places->file = *after;
    return true;
  }

  // The value as the field keeps it, or TableError when the field cannot take it.
  TValue Converted(int i, const TValue& v) const {
    const FieldDef& f = data.fields[static_cast<std::size_t>(i)];
    if (v.IsBlank()) return v;
    if (v.IsNumber() && !std::isfinite(v.AsNumber())) {
      ThrowTableError(name, "campo \"" + f.name + "\": o valor não é um número finito.");
    }
    if (detail::HoldsText(f.type)) {
      if (!v.IsText()) return TValue::Text(FormatReal(v.AsNumber()));
      if (backend && !backend->KeepsTrailingBlanks()) {
        // What the file will give back: the format pads texts with blanks.
        const std::size_t end = v.AsText().find_last_not_of(' ');
        if (end == std::string::npos) return TValue();
        if (end + 1 < v.AsText().size()) return TValue::Text(v.AsText().substr(0, end + 1));
      }
      return v.AsText().empty() ? TValue() : v;
    }
    double x = 0.0;
    if (v.IsText()) {
      if (v.AsText().find_first_not_of(" \t") == std::string::npos) return TValue();
      if (!ParseReal(v.AsText(), x)) {
        ThrowTableError(name, "campo \"" + f.name + "\": \"" + v.AsText() +
                                  "\" não é um número (use \".\" como separador decimal).");
      }
    } else {
      x = v.AsNumber();
    }
    if (f.type == FieldType::Integer && x != std::trunc(x)) {
      ThrowTableError(name, "campo \"" + f.name + "\": o campo é inteiro e " + FormatReal(x) +
                                " não é um número inteiro.");
    }
    if (f.type == FieldType::Logical) x = x != 0.0 ? 1.0 : 0.0;
    return TValue::Number(x);
  }

  void StartInsert(std::size_t at) {
    state = EditState::Insert;
    insertAt = at;
    buffer.assign(data.fields.size(), TValue());
    modified = false;
  }

  void DropEdit() {
    state = EditState::Browse;
    buffer.clear();
    modified = false;
    if (Rows() == 0) eof = true;
  }

  void Post() {
    if (state == EditState::Browse) return;
    const bool inserting = state == EditState::Insert;
    const std::size_t row = inserting ? insertAt : pos;
    std::vector<TValue> previous;
    if (inserting) {
      InsertRow(row, buffer);
    } else {
      previous = RowValues(row);
      StoreRow(row, buffer);
    }
    if (batchDepth > 0) {
      unsaved = true;
    } else {
      try {
        if (inserting || !WriteInPlace(row, previous)) WriteFile();
      } catch (...) {
        // The file is as it was; so are the records in memory, and the edit stays open.
        if (inserting) {
          EraseRow(row);
        } else {
          StoreRow(row, previous);
        }
        throw;
      }
    }
    DropEdit();
    pos = row;
    eof = false;
  }

  // Before the cursor moves: post a changed record, drop an unchanged one, so that leaving a
  // record never loses what was typed into it.
  void CheckBrowseMode() {
    if (state == EditState::Browse) return;
    if (modified) {
      Post();
    } else {
      DropEdit();
    }
  }

  void CheckRecord(std::size_t record) const {
    if (record >= Rows()) {
      ThrowTableError(name, "o registro " + std::to_string(record + 1) +
                                " não existe (a tabela tem " + std::to_string(Rows()) +
                                " registros).");
    }
  }

  // The fields after a change of their definitions (added, removed or renamed) must still be
  // fields this format can hold.
  void CheckNewFields(const std::vector<FieldDef>& fields) const {
    CheckDefinitions(name, fields);
    backend->CheckFields(name, fields);
  }
};

TDataTable::TDataTable() : d_(std::make_unique<Impl>()) {}
TDataTable::~TDataTable() = default;

// --- name, type, open and close ---------------------------------------------------------

void TDataTable::SetName(const std::string& path) {
  d_->RequireClosed("mudar o nome do arquivo");
  d_->name = path;
}

const std::string& TDataTable::Name() const {
  return d_->name;
}

void TDataTable::SetType(TableType type) {
  d_->RequireClosed("mudar o tipo");
  d_->type = type;
}

TableType TDataTable::Type() const {
  return d_->type;
}

TableType TDataTable::ResolvedType() const {
  if (d_->type != TableType::Auto) return d_->type;
  return TypeOfPath(d_->name);
}

bool TDataTable::IsOpen() const {
  return d_->open;
}

void TDataTable::Open() {
  Impl& d = *d_;
  if (d.open) return;
  if (d.name.empty()) throw TableError("Nenhum arquivo de tabela foi indicado.");
  const TableType type = ResolvedType();
  std::unique_ptr<detail::TableBackend> backend = MakeBackend(type);
  detail::TableData data;
  try {
    if (type != TableType::Csv) detail::RecoverRecordPatch(d.name);
    data = backend->Read(d.name, d.defs);
  } catch (const TableError& e) {
    throw TableError(e.what() + FormatHint(d.name, type));
  } catch (const std::bad_alloc&) {
    ThrowTableError(d.name, "memória insuficiente para ler a tabela.");
  } catch (const std::exception& e) {
    ThrowTableError(d.name, e.what());
  }
  d.data = std::move(data);
  d.backend = std::move(backend);
  d.defs = d.data.fields;
  d.open = true;
  d.pos = 0;
  d.eof = d.Rows() == 0;
  d.state = EditState::Browse;
  d.buffer.clear();
  d.modified = false;
  d.batchDepth = 0;
  d.unsaved = false;
}

const char* TDataTable::FormatName() const {
  if (d_->open) return d_->backend->FormatName();
  return MakeBackend(ResolvedType())->FormatName();
}

std::string TDataTable::CodePage() const {
  return d_->open ? d_->backend->CodePage() : std::string();
}

void TDataTable::Close() {
  Impl& d = *d_;
  d.open = false;
  d.backend.reset();
  d.data = detail::TableData();
  d.pos = 0;
  d.eof = true;
  d.state = EditState::Browse;
  d.buffer.clear();
  d.modified = false;
  d.batchDepth = 0;
  d.unsaved = false;
}

// --- fields -----------------------------------------------------------------------------

int TDataTable::FieldCount() const {
  return d_->open ? static_cast<int>(d_->data.fields.size()) : 0;
}

const std::string& TDataTable::FieldName(int i) const {
  return Field(i).name;
}

FieldType TDataTable::GetFieldType(int i) const {
  return Field(i).type;
}

const FieldDef& TDataTable::Field(int i) const {
  d_->CheckField(i);
  return d_->data.fields[static_cast<std::size_t>(i)];
}

const std::vector<FieldDef>& TDataTable::Fields() const {
  static const std::vector<FieldDef> kNone;
  return d_->open ? d_->data.fields : kNone;
}

// --- cursor -----------------------------------------------------------------------------

std::size_t TDataTable::RecordCount() const {
  return d_->Rows();
}

std::size_t TDataTable::RecNo() const {
  return d_->state == EditState::Insert ? d_->insertAt : d_->pos;
}

void TDataTable::First() {
  d_->RequireOpen();
  d_->CheckBrowseMode();
  d_->pos = 0;
  d_->eof = d_->Rows() == 0;
}

void TDataTable::Next() {
  d_->RequireOpen();
  d_->CheckBrowseMode();
  if (d_->pos + 1 < d_->Rows()) {
    ++d_->pos;
    d_->eof = false;
  } else {
    d_->eof = true;
  }
}

void TDataTable::Last() {
  d_->RequireOpen();
  d_->CheckBrowseMode();
  d_->pos = d_->Rows() > 0 ? d_->Rows() - 1 : 0;
  d_->eof = true;
}

bool TDataTable::AtEnd() const {
  if (!d_->open) return true;
  return d_->state == EditState::Insert ? false : d_->eof;
}

void TDataTable::GoTo(std::size_t record) {
  d_->RequireOpen();
  d_->CheckBrowseMode();
  d_->CheckRecord(record);
  d_->pos = record;
  d_->eof = false;
}

void TDataTable::CheckBrowseMode() {
  d_->RequireOpen();
  d_->CheckBrowseMode();
}

// --- random access ----------------------------------------------------------------------

TValue TDataTable::ValueAt(std::size_t record, int field) const {
  d_->CheckField(field);
  d_->CheckRecord(record);
  return d_->data.columns[static_cast<std::size_t>(field)].Get(record);
}

bool TDataTable::IsBlankAt(std::size_t record, int field) const {
  d_->CheckField(field);
  d_->CheckRecord(record);
  return d_->data.columns[static_cast<std::size_t>(field)].IsBlank(record);
}

std::size_t TDataTable::SourceLine(std::size_t record) const {
  const detail::SourceLines& lines = d_->data.sourceLines;
  return d_->open && lines.Size() == d_->Rows() ? lines.Of(record) : 0;
}

std::span<const double> TDataTable::NumberColumn(int field) const {
  const Impl& d = *d_;
  if (!d.open || d.state != EditState::Browse || field < 0 ||
      static_cast<std::size_t>(field) >= d.data.columns.size()) {
    return {};
  }
  return d.data.columns[static_cast<std::size_t>(field)].Numbers();
}

std::size_t TDataTable::DisplayRowCount() const {
  return d_->Rows() + (d_->state == EditState::Insert ? 1 : 0);
}

TValue TDataTable::DisplayValue(std::size_t row, int field) const {
  const Impl& d = *d_;
  d.CheckField(field);
  const auto i = static_cast<std::size_t>(field);
  if (d.state == EditState::Insert) {
    if (row == d.insertAt) return d.buffer[i];
    if (row > d.insertAt) --row;
  } else if (d.state == EditState::Edit && row == d.pos) {
    return d.buffer[i];
  }
  d.CheckRecord(row);
  return d.data.columns[i].Get(row);
}

// --- values -----------------------------------------------------------------------------

bool TDataTable::IsBlank(int field) const {
  d_->CheckField(field);
  const auto i = static_cast<std::size_t>(field);
  if (d_->state != EditState::Browse) return d_->buffer[i].IsBlank();
  if (d_->Rows() == 0) return true;
  return d_->data.columns[i].IsBlank(d_->pos);
}

TValue TDataTable::GetValue(int field) const {
  d_->CheckField(field);
  const auto i = static_cast<std::size_t>(field);
  if (d_->state != EditState::Browse) return d_->buffer[i];
  if (d_->Rows() == 0) return TValue();
  return d_->data.columns[i].Get(d_->pos);
}

void TDataTable::SetValue(int field, const TValue& v) {
  Impl& d = *d_;
  d.CheckField(field);
  TValue value = d.Converted(field, v);
  if (d.state == EditState::Browse) {
    // Editing an empty table inserts its first record: a grid shows one blank row there.
    if (d.Rows() == 0) {
      d.StartInsert(0);
    } else {
      d.state = EditState::Edit;
      d.buffer = d.RowValues(d.pos);
      d.modified = false;
    }
  }
  d.buffer[static_cast<std::size_t>(field)] = std::move(value);
  d.modified = true;
}

// --- editing ----------------------------------------------------------------------------

void TDataTable::Append() {
  d_->RequireOpen();
  d_->CheckBrowseMode();
  d_->StartInsert(d_->Rows());
}

void TDataTable::Insert() {
  d_->RequireOpen();
  d_->CheckBrowseMode();
  d_->StartInsert(d_->Rows() == 0 ? 0 : d_->pos);
}

void TDataTable::Post() {
  d_->RequireOpen();
  d_->Post();
}

void TDataTable::Cancel() {
  if (d_->open) d_->DropEdit();
}

void TDataTable::DeleteRecord() {
  Impl& d = *d_;
  d.RequireOpen();
  if (d.state == EditState::Insert) {  // deleting a record not yet posted is dropping it
    d.DropEdit();
    return;
  }
  d.DropEdit();
  if (d.Rows() == 0) ThrowTableError(d.name, "a tabela não tem registros para apagar.");
  DeleteRecords({d.pos});
}

bool TDataTable::IsEditing() const {
  return d_->state != EditState::Browse;
}

bool TDataTable::IsInserting() const {
  return d_->state == EditState::Insert;
}

void TDataTable::BeginBatch() {
  d_->RequireOpen();
  ++d_->batchDepth;
}

void TDataTable::EndBatch() {
  Impl& d = *d_;
  if (!d.open || d.batchDepth == 0) return;
  if (--d.batchDepth == 0 && d.unsaved) d.WriteFile();
}

// --- definitions and files --------------------------------------------------------------

void TDataTable::DefineFields(const std::vector<FieldDef>& defs) {
  d_->RequireClosed("mudar a definição dos campos");
  d_->defs = defs;
}

const std::vector<FieldDef>& TDataTable::FieldDefs() const {
  return d_->defs;
}

void TDataTable::CopyFieldDefinitions(const TDataTable& other) {
  std::vector<FieldDef> defs = other.FieldDefs();
  DefineFields(defs);
}

void TDataTable::CreateTable() {
  CreateTable(std::vector<TColumnValues>(d_->defs.size()));
}

void TDataTable::CreateTable(std::vector<TColumnValues> columns) {
  Impl& d = *d_;
  d.RequireClosed("criá-la de novo");
  if (d.name.empty()) throw TableError("Nenhum arquivo de tabela foi indicado.");
  CheckFieldDefinitions();
  const std::unique_ptr<detail::TableBackend> backend = MakeBackend(ResolvedType());
  if (columns.size() != d.defs.size()) {
    ThrowTableError(d.name, "os valores não correspondem aos campos da tabela.");
  }
  detail::TableData data = detail::TableData::Empty(d.defs);
  std::size_t rows = 0;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    TColumnValues& c = columns[i];
    const bool text = detail::HoldsText(d.defs[i].type);
    const std::size_t n = text ? c.texts.size() : c.numbers.size();
    if (i == 0) rows = n;
    if (n != rows || (!text && !c.blank.empty() && c.blank.size() != n)) {
      ThrowTableError(d.name, "os campos não têm todos o mesmo número de valores.");
    }
    if (text) {
      data.columns[i].Reserve(n);
      for (std::string& s : c.texts) data.columns[i].AppendText(std::move(s));
      continue;
    }
    for (std::size_t r = 0; r < n; ++r) {
      if (!c.blank.empty() && c.blank[r]) {
        c.numbers[r] = detail::Column::kBlank;
      } else if (!std::isfinite(c.numbers[r])) {
        detail::ThrowRefusedValue(d.name, r, d.defs[i].name, "o valor não é um número finito.");
      }
    }
    data.columns[i].Adopt(std::move(c.numbers));
  }
  WriteWholeFile(*backend, data, d.name);
}

void TDataTable::CheckFieldDefinitions() const {
  const Impl& d = *d_;
  const std::unique_ptr<detail::TableBackend> backend = MakeBackend(ResolvedType());
  CheckDefinitions(d.name, d.defs);
  backend->CheckFields(d.name, d.defs);
}

void TDataTable::DeleteTable() {
  Impl& d = *d_;
  d.RequireClosed("apagá-la");
  if (d.name.empty()) throw TableError("Nenhum arquivo de tabela foi indicado.");
  const std::unique_ptr<detail::TableBackend> backend = MakeBackend(ResolvedType());
  const std::vector<std::string> companions = backend->CompanionFiles(d.name);
  if (::unlink(d.name.c_str()) != 0) {
    const int err = errno;
    if (err == ENOENT) ThrowTableError(d.name, "o arquivo não existe.");
    ThrowTableError(d.name, "não foi possível apagar o arquivo (" + detail::ErrnoText(err) + ").");
  }
  for (const std::string& f : companions) detail::RemoveIfPresent(f);
  detail::RemoveIfPresent(detail::JournalPath(d.name));
}

void TDataTable::AddFields(const std::vector<FieldDef>& defs) {
  Impl& d = *d_;
  d.RequireOpen();
  d.CheckBrowseMode();
  if (defs.empty()) return;
  std::vector<FieldDef> fields = d.data.fields;
  fields.insert(fields.end(), defs.begin(), defs.end());
  d.CheckNewFields(fields);
  const std::size_t rows = d.Rows();
  d.data.fields = fields;
  for (const FieldDef& f : defs) {
    d.data.columns.push_back(detail::Column::Blanks(detail::HoldsText(f.type), rows));
  }
  try {
    d.WriteFile();
  } catch (...) {
    d.data.fields.resize(d.data.fields.size() - defs.size());
    d.data.columns.erase(d.data.columns.begin() + static_cast<std::ptrdiff_t>(d.data.fields.size()),
                         d.data.columns.end());
    throw;
  }
  d.defs = d.data.fields;
}

void TDataTable::DeleteFields(const std::vector<int>& fields) {
  Impl& d = *d_;
  d.RequireOpen();
  for (const int i : fields) d.CheckField(i);
  d.CheckBrowseMode();
  std::vector<int> sorted = fields;
  std::sort(sorted.begin(), sorted.end());
  sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
  if (sorted.empty()) return;
  if (sorted.size() == d.data.fields.size()) {
    ThrowTableError(d.name,
                    "a tabela ficaria sem campos; uma tabela tem ao menos um campo (para "
                    "apagá-la, apague o arquivo).");
  }
  std::vector<FieldDef> kept;
  for (std::size_t i = 0; i < d.data.fields.size(); ++i) {
    if (!std::binary_search(sorted.begin(), sorted.end(), static_cast<int>(i))) {
      kept.push_back(d.data.fields[i]);
    }
  }
  d.CheckNewFields(kept);
  // The removed columns are kept aside until the new file is in place.
  std::vector<FieldDef> oldFields = std::move(d.data.fields);
  std::vector<detail::Column> oldColumns = std::move(d.data.columns);
  d.data.fields = kept;
  d.data.columns.clear();
  for (std::size_t i = 0; i < oldColumns.size(); ++i) {
    if (!std::binary_search(sorted.begin(), sorted.end(), static_cast<int>(i))) {
      d.data.columns.push_back(std::move(oldColumns[i]));
    }
  }
  try {
    d.WriteFile();
  } catch (...) {
    std::size_t k = 0;
    for (std::size_t i = 0; i < oldColumns.size(); ++i) {
      if (!std::binary_search(sorted.begin(), sorted.end(), static_cast<int>(i))) {
        oldColumns[i] = std::move(d.data.columns[k++]);
      }
    }
    d.data.fields = std::move(oldFields);
    d.data.columns = std::move(oldColumns);
    throw;
  }
  d.defs = d.data.fields;
}

void TDataTable::DeleteField(int i) {
  DeleteFields({i});
}

void TDataTable::RenameFields(const std::vector<TFieldRename>& renames) {
  Impl& d = *d_;
  d.RequireOpen();
  for (const TFieldRename& r : renames) d.CheckField(r.field);
  d.CheckBrowseMode();
  if (renames.empty()) return;
  const TableType type = ResolvedType();
  std::vector<std::string> names;
  for (const FieldDef& f : d.data.fields) names.push_back(f.name);
  for (const TFieldRename& r : renames) {
    const std::string problem = FieldRenameProblem(type, names, r.field, r.newName);
    if (!problem.empty()) ThrowTableError(d.name, problem);
    names[static_cast<std::size_t>(r.field)] = r.newName;
  }
  std::vector<FieldDef> fields = d.data.fields;
  for (std::size_t i = 0; i < fields.size(); ++i) fields[i].name = names[i];
  d.CheckNewFields(fields);
  std::swap(d.data.fields, fields);
  try {
    d.WriteFile();
  } catch (...) {
    std::swap(d.data.fields, fields);
    throw;
  }
  d.defs = d.data.fields;
}

void TDataTable::RenameField(int i, const std::string& newName) {
  RenameFields({{i, newName}});
}

void TDataTable::DeleteRecords(const std::vector<std::size_t>& records) {
  Impl& d = *d_;
  d.RequireOpen();
  std::vector<std::size_t> sorted = records;
  std::sort(sorted.begin(), sorted.end());
  sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
  if (d.state == EditState::Insert ||
      (d.state == EditState::Edit && std::binary_search(sorted.begin(), sorted.end(), d.pos))) {
    d.DropEdit();
  }
  d.CheckBrowseMode();
  if (sorted.empty()) return;
  d.CheckRecord(sorted.back());
  std::vector<detail::Column> kept;
  kept.reserve(d.data.columns.size());
  for (const detail::Column& c : d.data.columns) kept.push_back(c.Without(sorted));
  std::swap(d.data.columns, kept);
  d.data.sourceLines.Clear();
  if (d.batchDepth > 0) {
    d.unsaved = true;
  } else {
    try {
      d.WriteFile();
    } catch (...) {
      std::swap(d.data.columns, kept);
      throw;
    }
  }
  const std::size_t rows = d.Rows();
  d.pos = std::min(sorted.front(), rows > 0 ? rows - 1 : 0);
  d.eof = rows == 0;
}

bool TDataTable::IsFileOfTable(const std::string& path) const {
  const std::optional<detail::FileIdentity> target = detail::IdentityOf(path);
  if (!target || d_->name.empty()) return false;
  std::vector<std::string> files = {d_->name, detail::JournalPath(d_->name)};
  try {
    const std::vector<std::string> companions =
        MakeBackend(ResolvedType())->CompanionFiles(d_->name);
    files.insert(files.end(), companions.begin(), companions.end());
  } catch (const TableError&) {
    // A name of no known format has no companion files.
  }
  for (const std::string& f : files) {
    const std::optional<detail::FileIdentity> id = detail::IdentityOf(f);
    if (id && id->SameFile(*target)) return true;
  }
  return false;
}

void TDataTable::SaveCopy(const std::string& path, TableType type) const {
  const Impl& d = *d_;
  d.RequireOpen();
  if (IsFileOfTable(path)) {
    ThrowTableError(path, "é o arquivo da própria tabela \"" + d.name +
                              "\" (ou um arquivo dela); a cópia não foi gravada, e a tabela "
                              "ficou como estava.");
  }
  const std::unique_ptr<detail::TableBackend> backend =
      MakeBackend(type == TableType::Auto ? TypeOfPath(path) : type);
  CheckDefinitions(path, d.data.fields);
  backend->CheckFields(path, d.data.fields);
  WriteWholeFile(*backend, d.data, path);
}

}  // namespace qv
