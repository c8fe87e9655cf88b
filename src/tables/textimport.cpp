#include "tables/textimport.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <string_view>
#include <utility>
#include <vector>

#include "tables/civildate.h"
#include "tables/comma.h"
#include "tables/safefile.h"

namespace qv {

const char* const kImportWarning =
    "O Arquivo deve ser ASCII, cujas colunas são separadas  por espaços\re as casas decimais "
    "são separadas por ponto (.) da   parte inteira!\rSe o seu arquivo ASCII tem esta "
    "estrutura, tecle Ok, caso contrário\r pressione Cancel!";
const char* const kNoFileSelected = "Nenhum Arquivo selecionado";
const char* const kFileExistsQuestion = "Arquivo já existe. Deseja reescrevê-lo?";

namespace {

using detail::ErrnoText;

constexpr std::size_t kWriteChunk = 1 << 20;
// How much of a cleaned line a message quotes.
constexpr std::size_t kQuotedLine = 80;

// The file layer names every file it fails on a table; the text files of an import or an
// export are not tables.
std::string FileMessage(const TableError& e) {
  std::string text = e.what();
  const std::string tablePrefix = "Tabela \"";
  if (text.rfind(tablePrefix, 0) == 0) text.replace(0, tablePrefix.size(), "Arquivo \"");
  return text;
}

[[noreturn]] void ThrowFileError(const std::string& path, const std::string& cause) {
  throw TableError("Arquivo \"" + path + "\": " + cause);
}

// The temporary file of an import, removed however the import ends.
class TTempFile {
 public:
  explicit TTempFile(std::string path) : path_(std::move(path)) {}
  ~TTempFile() { Remove(); }
  TTempFile(const TTempFile&) = delete;
  TTempFile& operator=(const TTempFile&) = delete;
  void Remove() {
    if (!path_.empty()) detail::RemoveIfPresent(path_);
    path_.clear();
  }
  void Keep() { path_.clear(); }

 private:
  std::string path_;
};

// The grid's display suspended for as long as this lives (or until End).
class TDisplayPause {
 public:
  explicit TDisplayPause(TTextTransferHost& host) : host_(&host) { host.SuspendDisplay(); }
  ~TDisplayPause() { End(); }
  TDisplayPause(const TDisplayPause&) = delete;
  TDisplayPause& operator=(const TDisplayPause&) = delete;
  void End() {
    if (host_) host_->ResumeDisplay();
    host_ = nullptr;
  }

 private:
  TTextTransferHost* host_;
};

void WriteAll(int fd, std::string_view bytes, const std::string& path) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowFileError(path,
                     "não foi possível gravar o arquivo temporário (" + ErrnoText(errno) + ").");
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

bool SameFile(const std::string& a, const std::string& b) {
  const auto ia = detail::IdentityOf(a);
  const auto ib = detail::IdentityOf(b);
  return ia && ib && ia->SameFile(*ib);
}

// Line `line` (1 = the first) of a text whose lines end in "\n".
std::string_view LineOf(std::string_view text, std::size_t line) {
  std::size_t start = 0;
  for (std::size_t k = 1; k < line && start <= text.size(); ++k) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) return {};
    start = end + 1;
  }
  if (start > text.size()) return {};
  const std::size_t end = text.find('\n', start);
  return text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

std::string Quoted(std::string_view text) {
  if (text.size() > kQuotedLine) return "\"" + std::string(text.substr(0, kQuotedLine)) + "...\"";
  return "\"" + std::string(text) + "\"";
}

std::string RecordsKept(std::size_t records, const std::string& table) {
  if (records == 0) {
    return "nenhum registro foi lido antes dele, e a tabela \"" + table + "\" ficou vazia.";
  }
  if (records == 1) return "o registro lido antes dele ficou na tabela \"" + table + "\".";
  return "os " + std::to_string(records) + " registros lidos antes dele ficaram na tabela \"" +
         table + "\".";
}

std::string StopMessage(const TImportRecords& r, const std::string& source,
                        std::string_view cleaned, const std::string& table) {
  const std::string where =
      " na linha " + std::to_string(r.stopLine) + " do arquivo \"" + source + "\": \"";
  std::string text;
  if (r.stop == TImportRecords::TStop::Overflow) {
    text = "Número grande demais" + where + r.stopToken +
           "\" passa do maior valor de um campo real (cerca de 1.8e308).\r";
  } else {
    text = "Valor não numérico" + where + r.stopToken + "\".\r";
  }
  text += "A linha foi lida como " + Quoted(LineOf(cleaned, r.stopLine)) +
          ": letras, vírgulas e outros sinais que não fazem parte de números são lidos como "
          "espaços.\r";
  return text + "A importação parou nesse valor; " + RecordsKept(r.records, table);
}

std::vector<FieldDef> ImportFields(std::size_t columns) {
  std::vector<FieldDef> defs;
  defs.reserve(columns);
  for (std::size_t k = 1; k <= columns; ++k) {
    defs.push_back({"Var. " + std::to_string(k), FieldType::Float, 0});
  }
  return defs;
}

std::vector<TColumnValues> ImportColumns(TImportRecords& r) {
  std::vector<TColumnValues> columns(r.columns);
  for (std::size_t j = 0; j < r.columns; ++j) {
    columns[j].numbers = std::move(r.numbers[j]);
    columns[j].blank = std::move(r.blank[j]);
  }
  return columns;
}

// --- the export's text ------------------------------------------------------------------------

void AppendTwoDigits(std::string& out, long v) {
  out.push_back(static_cast<char>('0' + v / 10 % 10));
  out.push_back(static_cast<char>('0' + v % 10));
}

void AppendDate(std::string& out, double dayNumber) {
  long y = 0;
  unsigned m = 0, d = 0;
  detail::CivilFromDays(static_cast<long>(std::floor(dayNumber)) + detail::kDay0FromUnixEpoch, y, m,
                        d);
  AppendTwoDigits(out, d);
  out.push_back('/');
  AppendTwoDigits(out, m);
  out.push_back('/');
  char year[24];
  std::snprintf(year, sizeof year, "%04ld", y);
  out += year;
}

void AppendTime(std::string& out, double dayFraction) {
  const auto seconds =
      static_cast<long>(std::llround((dayFraction - std::floor(dayFraction)) * 86400.0)) % 86400;
  AppendTwoDigits(out, seconds / 3600);
  out.push_back(':');
  AppendTwoDigits(out, seconds / 60 % 60);
  out.push_back(':');
  AppendTwoDigits(out, seconds % 60);
}

// A value's text in an export: reals (and the other numbers) in the caller's layout, dates
// and times as a Brazilian desktop shows them, logicals as the words Delphi gave them.
void AppendValue(std::string& out, const FieldDef& field, const TValue& v,
                 const TRealLayout& real) {
  if (v.IsText()) {
    out += v.AsText();
    return;
  }
  const double x = v.AsNumber();
  switch (field.type) {
    case FieldType::Date:
      AppendDate(out, x);
      return;
    case FieldType::Time:
      AppendTime(out, x);
      return;
    case FieldType::Timestamp:
      AppendDate(out, x);
      out.push_back(' ');
      AppendTime(out, x);
      return;
    case FieldType::Logical:
      out += x != 0.0 ? "True" : "False";
      return;
    default:
      out += real(x);
      return;
  }
}

}  // namespace

// --- import -----------------------------------------------------------------------------------

TPreparedImport PrepareImportFile(const std::string& sourcePath) {
  TPreparedImport prepared;
  prepared.sourcePath = sourcePath;
  prepared.tempPath = detail::DirectoryOf(sourcePath) + "/" + kImportTempName;
  if (SameFile(sourcePath, prepared.tempPath)) {
    ThrowFileError(sourcePath, std::string("o arquivo de origem tem o nome do arquivo temporário "
                                           "da importação (") +
                                   kImportTempName + "); copie-o com outro nome.");
  }
  std::string source;
  try {
    source = detail::ReadWholeFile(sourcePath);
  } catch (const TableError& e) {
    throw TableError(FileMessage(e));
  }
  const int fd = ::open(prepared.tempPath.c_str(),
                        O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd < 0) {
    const int err = errno;
    ThrowFileError(prepared.tempPath,
                   "não foi possível criar o arquivo temporário da importação na pasta do "
                   "arquivo de origem (" +
                       ErrnoText(err) +
                       "). Copie o arquivo de origem para uma pasta em que se possa gravar.");
  }
  TTempFile removeOnFailure(prepared.tempPath);
  std::string out;
  out.reserve(std::min(source.size() + 2, kWriteChunk + kWriteChunk / 2));
  std::size_t columns = 0;
  try {
    const std::string_view text(source);
    std::size_t pos = 0;
    while (pos < text.size()) {
      std::size_t end = text.find_first_of("\r\n", pos);
      if (end == std::string_view::npos) end = text.size();
      const std::size_t lineStart = out.size();
      AppendCleanImportLine(text.substr(pos, end - pos), out);
      columns = std::max(columns, CountTokens(std::string_view(out).substr(lineStart)));
      out.push_back('\n');
      pos = end;
      if (pos < text.size()) {
        const bool crlf = text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n';
        pos += crlf ? 2 : 1;
      }
      if (out.size() >= kWriteChunk) {
        WriteAll(fd, out, prepared.tempPath);
        out.clear();
      }
    }
    WriteAll(fd, out, prepared.tempPath);
  } catch (...) {
    ::close(fd);
    throw;
  }
  if (::close(fd) != 0) {
    ThrowFileError(prepared.tempPath,
                   "não foi possível gravar o arquivo temporário (" + ErrnoText(errno) + ").");
  }
  prepared.columns = columns;
  removeOnFailure.Keep();
  return prepared;
}

TPreparedImport PrepareImport(TTextTransferHost& host) {
  const std::optional<std::string> source = host.ChooseImportSource();
  if (!source) {
    TPreparedImport cancelled;
    cancelled.cancelled = true;
    return cancelled;
  }
  return PrepareImportFile(*source);
}

TImportOutcome ImportTextCommand(TDataTable& table, TTextTransferHost& host, TableType type) {
  TImportOutcome outcome;
  if (!host.WarnOkCancel(kImportWarning)) return outcome;
  TDisplayPause pause(host);
  table.Close();
  TPreparedImport prepared;
  try {
    prepared = PrepareImport(host);
  } catch (const TableError& e) {
    host.ShowError(e.what());
    outcome.status = TTransferStatus::Failed;
    return outcome;
  }
  if (prepared.cancelled) {
    host.ShowMessage(kNoFileSelected);
    return outcome;
  }
  TTempFile temp(prepared.tempPath);
  if (prepared.columns == 0) {
    host.ShowError("O arquivo \"" + prepared.sourcePath +
                   "\" não tem números a importar: nenhuma linha tem algarismos.\rNenhuma "
                   "tabela foi criada.");
    outcome.status = TTransferStatus::Failed;
    return outcome;
  }
  const std::optional<std::string> target = host.ChooseImportTable();
  if (!target) return outcome;
  if (SameFile(*target, prepared.sourcePath) || SameFile(*target, prepared.tempPath)) {
    host.ShowError("A tabela \"" + *target +
                   "\" seria gravada sobre o próprio arquivo de origem \"" + prepared.sourcePath +
                   "\".\rEscolha outro nome para a tabela; nada foi gravado.");
    outcome.status = TTransferStatus::Failed;
    return outcome;
  }

  TImportRecords records;
  std::string cleaned;
  try {
    table.SetName(*target);
    table.SetType(type);
    table.DefineFields(ImportFields(prepared.columns));
    table.CheckFieldDefinitions();
    try {
      cleaned = detail::ReadWholeFile(prepared.tempPath);
    } catch (const TableError& e) {
      throw TableError(FileMessage(e));
    }
    records = ReadImportRecords(cleaned, prepared.columns);
    table.CreateTable(ImportColumns(records));
    table.Open();
    table.First();
  } catch (const TableError& e) {
    table.Close();
    host.ShowError(e.what());
    outcome.status = TTransferStatus::Failed;
    return outcome;
  }
  temp.Remove();
  pause.End();

  outcome.table = *target;
  outcome.fields = prepared.columns;
  outcome.records = records.records;
  outcome.status = TTransferStatus::Done;
  if (records.stop != TImportRecords::TStop::End) {
    host.ShowError(StopMessage(records, prepared.sourcePath, cleaned, *target));
    outcome.status = TTransferStatus::Stopped;
  } else if (records.missingAtEnd > 0) {
    host.ShowMessage("O arquivo \"" + prepared.sourcePath +
                     "\" terminou antes de completar o último registro (o " +
                     std::to_string(records.records) + "º): " +
                     (records.missingAtEnd == 1
                          ? std::string("o seu último campo ficou em branco.")
                          : "os seus " + std::to_string(records.missingAtEnd) +
                                " últimos campos ficaram em branco."));
  }
  return outcome;
}

// --- export -----------------------------------------------------------------------------------

void WriteTableText(const TDataTable& table, const std::string& path, const TRealLayout& real) {
  const std::vector<FieldDef>& fields = table.Fields();
  try {
    detail::SafeFile out(path);
    std::string line;
    for (const FieldDef& f : fields) {
      line += f.name;
      line.push_back(' ');
    }
    line += "\r\n";
    out.Write(line);
    const std::size_t records = table.RecordCount();
    for (std::size_t r = 0; r < records; ++r) {
      line.clear();
      for (std::size_t i = 0; i < fields.size(); ++i) {
        const TValue v = table.ValueAt(r, static_cast<int>(i));
        if (v.IsBlank()) {
          line += ". ";
          continue;
        }
        AppendValue(line, fields[i], v, real);
        line += "  ";
      }
      line += "\r\n";
      out.Write(line);
    }
    out.Commit();
  } catch (const TableError& e) {
    throw TableError(FileMessage(e));
  }
}

TExportOutcome ExportTextCommand(TDataTable& table, TTextTransferHost& host,
                                 const TRealLayout& real) {
  TExportOutcome outcome;
  if (!table.IsOpen()) {
    host.OpenTableDialog(table);
    if (!table.IsOpen()) return outcome;
  }
  const std::optional<std::string> path = host.ChooseExportFile();
  if (!path) return outcome;
  try {
    table.First();  // a record being edited is posted first
    if (detail::IdentityOf(*path) && !host.WarnYesNo(kFileExistsQuestion)) return outcome;
    if (table.IsFileOfTable(*path)) {
      host.ShowError("O arquivo \"" + *path + "\" é o da própria tabela \"" + table.Name() +
                     "\": o texto não foi gravado, e a tabela ficou como estava.");
      outcome.status = TTransferStatus::Failed;
      return outcome;
    }
    TDisplayPause pause(host);
    WriteTableText(table, *path, real);
    table.First();
  } catch (const TableError& e) {
    host.ShowError(e.what());
    outcome.status = TTransferStatus::Failed;
    return outcome;
  }
  outcome.status = TTransferStatus::Done;
  outcome.file = *path;
  outcome.records = table.RecordCount();
  return outcome;
}

}  // namespace qv
