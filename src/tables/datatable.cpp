#include "tables/datatable.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <filesystem>
#include <new>
#include <utility>

#include "tables/realtext.h"
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
  // the current record stays the last one (as in Delphi's datasets) and the flag is set.
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
  }

  void EraseRow(std::size_t row) {
    for (detail::Column& c : data.columns) c.Erase(row);
  }

  // Writes the whole table as it is in memory; see SafeFile for the safety of the old file.
  void WriteFile() {
    try {
      detail::SafeFile out(name);
      backend->Write(data, out);
      out.Commit();
    } catch (const TableError&) {
      throw;
    } catch (const std::bad_alloc&) {
      ThrowTableError(name,
                      "memória insuficiente para gravar a tabela. O arquivo não foi alterado.");
    } catch (const std::exception& e) {
      ThrowTableError(name, std::string(e.what()) + " O arquivo não foi alterado.");
    }
    unsaved = false;
    backend->AfterReplace(name);
  }

  // The value as the field keeps it, or TableError when the field cannot take it.
  TValue Converted(int i, const TValue& v) const {
    const FieldDef& f = data.fields[static_cast<std::size_t>(i)];
    if (v.IsBlank()) return v;
    if (v.IsNumber() && !std::isfinite(v.AsNumber())) {
      ThrowTableError(name, "campo \"" + f.name + "\": o valor não é um número finito.");
    }
    if (detail::HoldsText(f.type)) {
      if (v.IsText()) return v.AsText().empty() ? TValue() : v;
      return TValue::Text(FormatReal(v.AsNumber()));
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
        WriteFile();
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

  // What Delphi's datasets do before moving: post a changed record, drop an unchanged one.
  void CheckBrowseMode() {
    if (state == EditState::Browse) return;
    if (modified) {
      Post();
    } else {
      DropEdit();
    }
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
  const std::string ext = LowerAscii(std::filesystem::path(d_->name).extension().string());
  if (ext == ".db") return TableType::Paradox;
  if (ext == ".dbf") return TableType::DBase;
  if (ext == ".csv") return TableType::Csv;
  ThrowTableError(d_->name,
                  "tipo de tabela desconhecido: o nome do arquivo deve terminar em .db "
                  "(Paradox), .dbf (dBase) ou .csv.");
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
    // As Delphi's Edit: editing an empty table inserts its first record.
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
  const std::size_t row = d.pos;
  const std::vector<TValue> previous = d.RowValues(row);
  d.EraseRow(row);
  if (d.batchDepth > 0) {
    d.unsaved = true;
  } else {
    try {
      d.WriteFile();
    } catch (...) {
      d.InsertRow(row, previous);
      throw;
    }
  }
  if (d.pos >= d.Rows()) d.pos = d.Rows() > 0 ? d.Rows() - 1 : 0;
  d.eof = d.Rows() == 0;
}

bool TDataTable::IsEditing() const {
  return d_->state != EditState::Browse;
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
  Impl& d = *d_;
  d.RequireClosed("criá-la de novo");
  if (d.name.empty()) throw TableError("Nenhum arquivo de tabela foi indicado.");
  const std::unique_ptr<detail::TableBackend> backend = MakeBackend(ResolvedType());
  CheckDefinitions(d.name, d.defs);
  backend->CheckFields(d.name, d.defs);
  const detail::TableData empty = detail::TableData::Empty(d.defs);
  try {
    detail::SafeFile out(d.name);
    backend->Write(empty, out);
    out.Commit();
  } catch (const std::bad_alloc&) {
    ThrowTableError(d.name, "memória insuficiente para criar a tabela.");
  }
  backend->AfterReplace(d.name);
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
}

void TDataTable::RenameField(int i, const std::string& newName) {
  Impl& d = *d_;
  d.CheckField(i);
  d.CheckBrowseMode();
  std::vector<FieldDef> fields = d.data.fields;
  fields[static_cast<std::size_t>(i)].name = newName;
  CheckDefinitions(d.name, fields);
  d.backend->CheckFields(d.name, fields);
  std::swap(d.data.fields, fields);
  try {
    d.WriteFile();
  } catch (...) {
    std::swap(d.data.fields, fields);
    throw;
  }
  d.defs = d.data.fields;
}

}  // namespace qv
