// dBase tables (.dbf) through shapelib.
//
// shapelib reads and writes the header and whole records; the values inside a record are cut
// out and put in here (shapelib's field readers drop a text's leading blanks, and its writer
// formats numbers that cannot be read back exactly; see below). We give it our own file hooks
// (SAHooks) so that
//  - it opens the file we name: left to itself it strips the extension and tries "name.dbf"
//    and "name.DBF", so "Ensaio.Dbf" would not open and a temporary name would be mangled
//    (for the same reason the .cpg file is looked for here, in any letter case, rather than
//    by shapelib, whose DBFGetCodePage then only reports the header's byte);
//  - no failed write goes unnoticed: shapelib does not check every write (the header is
//    rewritten on close without a check), so the hooks record the first failure and the table
//    is not replaced when there was one;
//  - numbers are read without the C library's atof, which follows the user's locale.
// Before shapelib sees a file, its header is checked against the file's size here (field
// descriptors, record length, record count): shapelib reads by the header's counts and would
// return garbage, not an error, for the records of a truncated file.
//
// Numbers. dBase keeps numbers as text in fields of a declared width. shapelib formats a
// double with printf("%*.*f"), which cannot hold every double in a fixed width (1e-300 with
// 15 decimals is 0.000000000000000), so we write the text ourselves: the shortest text that
// reads back to exactly the same double (fixed notation when it fits in the width, the
// exponent form otherwise), right-aligned in an N field of width 24, which holds every finite
// double ("-2.2250738585072014e-308" is the longest). Float fields are N(24,15): the 15
// decimals only tell other programs how to show the values. Integer fields are N(20,0).
// Reading accepts the exponent form and, since some Brazilian programs write one, a decimal
// comma.
//
// Code page. New files are written in Windows code page 1252 and say so with the language
// driver byte of the header (LDID 87, "ANSI"), which needs no companion file; a stale .cpg of
// the old version is removed, as shapelib (and GDAL) would let it override the header. When
// reading, a .cpg file beside the table wins, then the language driver byte; a file with
// neither is read as code page 1252.
//
// An edited record is written in place (recordpatch.h) only into a file laid out as we write
// one (see KeepPlaces); any other file is rewritten whole in our layout at its first change.
//
// Text is kept as written, leading blanks included. Blanks at its end cannot be kept: a text
// field is padded with blanks to its width, so "abc " and "abc" are the same bytes, and a text
// of blanks only is a blank value; TDataTable drops such blanks as soon as a value is set, so
// that what the table shows is what the file will give back.
//
// Blank values are written as shapelib writes them (a number as asterisks, a date as zeros, a
// logical as "?", a text as blanks); a date of blanks, as dBase itself writes one, also reads
// as blank.
//
// Types: C is text; N with decimals is Float, N without is Integer, F is Float; D (YYYYMMDD)
// is a day number counted from 30 December 1899, L is 0 or 1. Memo and other field types read
// as blank and a table with them cannot be rewritten (the memos would be lost). Records marked
// as deleted are not part of the table and are left out when it is rewritten.

#include <shapefil.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tables/civildate.h"
#include "tables/codepage.h"
#include "tables/iofault.h"
#include "tables/realtext.h"
#include "tables/tablebackend.h"

namespace qv::detail {

namespace {

constexpr std::size_t kFileHeaderSize = 32;
constexpr std::size_t kDescriptorSize = 32;
constexpr unsigned char kHeaderEnd = 0x0D;
constexpr int kNumberWidth = 24;
constexpr int kNumberDecimals = 15;
constexpr int kIntegerWidth = 20;
constexpr int kMaxTextWidth = 254;
constexpr std::size_t kMaxNameBytes = 10;
constexpr int kLdidAnsi = 87;

std::string Upper(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return s;
}

bool ParseDate(const std::string& s, double& out) {
  if (s.size() != 8) return false;
  for (const char c : s) {
    if (c < '0' || c > '9') return false;
  }
  const long y = std::stol(s.substr(0, 4));
  const unsigned m = static_cast<unsigned>(std::stoul(s.substr(4, 2)));
  const unsigned d = static_cast<unsigned>(std::stoul(s.substr(6, 2)));
  if (m < 1 || m > 12 || d < 1 || d > 31) return false;
  long y2 = 0;
  unsigned m2 = 0, d2 = 0;
  const long days = DaysFromCivil(y, m, d);
  CivilFromDays(days, y2, m2, d2);
  if (m2 != m || d2 != d) return false;  // 31 April and the like
  out = static_cast<double>(days - kDay0FromUnixEpoch);
  return true;
}

// The language driver byte as an iconv code page (the LDID table of dBase and ArcGIS).
std::string CodePageOfLdid(unsigned ldid) {
  switch (ldid) {
    case 1:
    case 9:
    case 11:
    case 13:
    case 15:
    case 17:
    case 21:
    case 24:
    case 25:
    case 27:
      return "CP437";
    case 2:
    case 10:
    case 14:
    case 16:
    case 18:
    case 20:
    case 22:
    case 26:
    case 29:
    case 37:
    case 55:
      return "CP850";
    case 3:
    case 87:
    case 88:
    case 89:
      return "CP1252";
    case 4:
      return "MACINTOSH";
    case 8:
    case 23:
    case 102:
      return "CP865";
    case 19:
    case 123:
      return "CP932";
    case 28:
    case 108:
      return "CP863";
    case 31:
    case 34:
    case 35:
    case 64:
    case 100:
    case 135:
      return "CP852";
    case 36:
      return "CP860";
    case 38:
    case 101:
      return "CP866";
    case 77:
    case 122:
      return "CP936";
    case 78:
    case 121:
      return "CP949";
    case 79:
    case 120:
      return "CP950";
    case 80:
    case 124:
      return "CP874";
    case 103:
      return "CP861";
    case 106:
    case 134:
      return "CP737";
    case 107:
    case 136:
      return "CP857";
    case 200:
      return "CP1250";
    case 201:
      return "CP1251";
    case 202:
      return "CP1254";
    case 203:
      return "CP1253";
    case 204:
      return "CP1257";
    default:
      return "CP1252";
  }
}

// The contents of a .cpg file ("1252", "ANSI 1252", "UTF-8", "88591", "CP850") as an iconv
// code page.
std::string CodePageOfCpg(std::string text) {
  const std::size_t end = text.find_first_of("\r\n");
  if (end != std::string::npos) text.resize(end);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  while (!text.empty() && text.front() == ' ') text.erase(0, 1);
  text = Upper(text);
  if (text == "UTF-8" || text == "UTF8") return "UTF-8";
  if (text.rfind("ANSI ", 0) == 0 || text.rfind("OEM ", 0) == 0)
    text = text.substr(text.find(' ') + 1);
  if (text.rfind("8859", 0) == 0) {
    const std::string part = text.substr(4);
    return "ISO-8859-" + (part.rfind('-', 0) == 0 ? part.substr(1) : part);
  }
  if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos) {
    return "CP" + text;
  }
  return text.empty() ? "CP1252" : text;
}

// --- shapelib's file hooks ----------------------------------------------------------------

struct HookState {
  std::string path;   // the file shapelib opens, whatever name it asks for
  std::string error;  // the first failure
};
thread_local HookState* tHook = nullptr;

void NoteFailure(const std::string& what) {
  if (tHook && tHook->error.empty()) tHook->error = what;
}

// A file as the hooks see it: the stream and where it stands. shapelib seeks to every record
// before reading it; when the records are read in order the position is already right, and
// skipping that seek (which empties the stream's buffer) makes reading several times faster.
struct HookFile {
  std::FILE* stream;
  off_t pos;
};

HookFile* AsFile(SAFile f) {
  return reinterpret_cast<HookFile*>(f);
}

SAFile HookOpen(const char* name, const char* access) {
  if (!tHook) return nullptr;
  const std::string n = LowerAscii(name ? name : "");
  if (n.size() < 4 || n.compare(n.size() - 4, 4, ".dbf") != 0) return nullptr;  // .cpg: ours
  std::FILE* stream = std::fopen(tHook->path.c_str(), access);
  if (!stream) {
    NoteFailure(ErrnoText(errno));
    return nullptr;
  }
  std::setvbuf(stream, nullptr, _IOFBF, 1 << 16);
  return reinterpret_cast<SAFile>(new HookFile{stream, 0});
}

SAOffset HookRead(void* p, SAOffset size, SAOffset count, SAFile f) {
  const SAOffset n = std::fread(p, size, count, AsFile(f)->stream);
  AsFile(f)->pos += static_cast<off_t>(n * size);
  return n;
}

SAOffset HookWrite(void* p, SAOffset size, SAOffset count, SAFile f) {
  if (const int err = IoFault(IoStep::WriteTemp)) {
    NoteFailure(ErrnoText(err));
    return 0;
  }
  const SAOffset n = std::fwrite(p, size, count, AsFile(f)->stream);
  if (n != count) NoteFailure(ErrnoText(errno));
  AsFile(f)->pos += static_cast<off_t>(n * size);
  return n;
}

SAOffset HookSeek(SAFile f, SAOffset offset, int whence) {
  HookFile* file = AsFile(f);
  if (whence == SEEK_SET && static_cast<off_t>(offset) == file->pos) return 0;
  if (fseeko(file->stream, static_cast<off_t>(offset), whence) != 0) {
    NoteFailure(ErrnoText(errno));
    return static_cast<SAOffset>(-1);
  }
  file->pos = ftello(file->stream);
  return 0;
}

SAOffset HookTell(SAFile f) {
  return static_cast<SAOffset>(AsFile(f)->pos);
}

int HookFlush(SAFile f) {
  const int r = std::fflush(AsFile(f)->stream);
  if (r != 0) NoteFailure(ErrnoText(errno));
  return r;
}

int HookClose(SAFile f) {
  HookFile* file = AsFile(f);
  const int r = std::fclose(file->stream);
  if (r != 0) NoteFailure(ErrnoText(errno));
  delete file;
  return r;
}

// shapelib removes a .cpg it does not write; companion files are ours to manage.
int HookRemove(const char*) {
  return 0;
}

void HookError(const char* message) {
  NoteFailure(message ? message : "erro de E/S");
}

double HookAtof(const char* text) {
  double v = 0.0;
  ParseReal(text ? text : "", v);
  return v;
}

SAHooks Hooks() {
  SAHooks h;
  SASetupDefaultHooks(&h);
  h.FOpen = HookOpen;
  h.FRead = HookRead;
  h.FWrite = HookWrite;
  h.FSeek = HookSeek;
  h.FTell = HookTell;
  h.FFlush = HookFlush;
  h.FClose = HookClose;
  h.Remove = HookRemove;
  h.Error = HookError;
  h.Atof = HookAtof;
  return h;
}

// Makes the hooks work on one file while it lives.
class HookScope {
 public:
  explicit HookScope(const std::string& path) {
    state_.path = path;
    previous_ = tHook;
    tHook = &state_;
  }
  ~HookScope() { tHook = previous_; }
  HookScope(const HookScope&) = delete;
  HookScope& operator=(const HookScope&) = delete;
  const std::string& Error() const { return state_.error; }

 private:
  HookState state_;
  HookState* previous_ = nullptr;
};

struct DbfCloser {
  void operator()(DBFInfo* h) const { DBFClose(h); }
};
using DbfHandle = std::unique_ptr<DBFInfo, DbfCloser>;

// --- the header ---------------------------------------------------------------------------

struct DbfField {
  char type;
  int width;
  int decimals;
};

struct DbfLayout {
  std::uint32_t records = 0;
  unsigned headerSize = 0;
  unsigned recordSize = 0;
  unsigned ldid = 0;
  std::vector<DbfField> fields;
};

bool KnownVersion(unsigned v) {
  switch (v) {
    case 0x02:
    case 0x03:
    case 0x30:
    case 0x31:
    case 0x32:
    case 0x43:
    case 0x63:
    case 0x83:
    case 0x8B:
    case 0xCB:
    case 0xE5:
    case 0xF5:
    case 0xFB:
      return true;
    default:
      return false;
  }
}

[[noreturn]] void Corrupt(const std::string& path, const std::string& what) {
  ThrowTableError(path,
                  "o arquivo não é uma tabela dBase válida ou está danificado (" + what + ").");
}

DbfLayout CheckLayout(const std::string& path, const std::string& head, std::size_t fileSize) {
  if (fileSize == 0) ThrowTableError(path, "o arquivo está vazio.");
  if (head.size() < kFileHeaderSize) Corrupt(path, "arquivo curto demais para um cabeçalho");
  const unsigned version = U8(head, 0);
  if (version == 0x04 || version == 0x8C) {
    ThrowTableError(path, "tabelas do dBase 7 não são aceitas; grave-a como dBase III, IV ou 5.");
  }
  if (!KnownVersion(version)) Corrupt(path, "assinatura de versão desconhecida");
  DbfLayout l;
  l.records = U32(head, 4);
  l.headerSize = U16(head, 8);
  l.recordSize = U16(head, 10);
  l.ldid = U8(head, 29);
  if (l.headerSize < kFileHeaderSize + kDescriptorSize + 1 || l.headerSize > head.size()) {
    Corrupt(path,
            head.size() < l.headerSize ? "cabeçalho truncado" : "tamanho de cabeçalho inválido");
  }
  unsigned sum = 1;  // the deletion mark
  bool ended = false;
  for (std::size_t at = kFileHeaderSize; at < l.headerSize; at += kDescriptorSize) {
    if (U8(head, at) == kHeaderEnd) {
      ended = true;
      break;
    }
    if (at + kDescriptorSize > l.headerSize) break;
    DbfField f{head[at + 11], static_cast<int>(U8(head, at + 16)),
               static_cast<int>(U8(head, at + 17))};
    if (f.width == 0 || !((f.type >= 'A' && f.type <= 'Z') || f.type == '@' || f.type == '+')) {
      Corrupt(path, "descrição do campo " + std::to_string(l.fields.size() + 1) + " inválida");
    }
    sum += static_cast<unsigned>(f.width);
    l.fields.push_back(f);
  }
  if (!ended || l.fields.empty()) Corrupt(path, "lista de campos sem fim");
  if (sum != l.recordSize) Corrupt(path, "os campos não somam o tamanho do registro");
  if (l.headerSize + static_cast<std::uint64_t>(l.records) * l.recordSize > fileSize) {
    Corrupt(path, "o cabeçalho anuncia " + std::to_string(l.records) +
                      " registros e o arquivo é curto demais para eles (truncado?)");
  }
  return l;
}

FieldType TypeOf(const DbfField& f) {
  switch (f.type) {
    case 'C':
      return FieldType::String;
    case 'N':
      return f.decimals == 0 ? FieldType::Integer : FieldType::Float;
    case 'F':
      return FieldType::Float;
    case 'D':
      return FieldType::Date;
    case 'L':
      return FieldType::Logical;
    default:
      return FieldType::Other;
  }
}

DbfField NativeOf(const FieldDef& f) {
  switch (f.type) {
    case FieldType::String:
      return {'C', f.size, 0};
    case FieldType::Integer:
      return {'N', kIntegerWidth, 0};
    case FieldType::Date:
      return {'D', 8, 0};
    case FieldType::Logical:
      return {'L', 1, 0};
    case FieldType::Float:
    case FieldType::Currency:
    case FieldType::Time:
    case FieldType::Timestamp:
      return {'N', kNumberWidth, kNumberDecimals};
    case FieldType::Other:
      break;
  }
  return {0, 0, 0};
}

std::string RightAligned(const std::string& s, int width) {
  return std::string(static_cast<std::size_t>(width) - s.size(), ' ') + s;
}

// The shortest round-trip text of v that fits in width, fixed notation preferred.
std::string NumberText(double v, int width) {
  char buffer[400];
  auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed);
  if (r.ec == std::errc() && r.ptr - buffer <= width) return std::string(buffer, r.ptr);
  r = std::to_chars(buffer, buffer + sizeof buffer, v);
  return std::string(buffer, r.ptr);
}

// The byte that fills a blank value of a field of this type (shapelib's convention, which its
// own reader and GDAL take as blank).
char BlankFill(char type) {
  switch (type) {
    case 'N':
    case 'F':
      return '*';
    case 'D':
      return '0';
    case 'L':
      return '?';
    default:
      return ' ';
  }
}

bool IsPad(char c) {
  return c == ' ' || c == '\0';
}

std::string_view TrimPads(std::string_view s) {
  while (!s.empty() && IsPad(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsPad(s.back())) s.remove_suffix(1);
  return s;
}

class DBaseBackend final : public TableBackend {
 public:
  const char* FormatName() const override { return "dBase"; }

  bool Detect(std::string_view head) const override {
    if (head.size() < kFileHeaderSize + kDescriptorSize + 1) return false;
    const std::string b(head.substr(0, kFileHeaderSize + kDescriptorSize));
    const unsigned headerSize = U16(b, 8);
    const char firstType = b[kFileHeaderSize + 11];
    return KnownVersion(U8(b, 0)) && headerSize >= kFileHeaderSize + kDescriptorSize + 1 &&
           U16(b, 10) >= 2 && U8(b, 2) >= 1 && U8(b, 2) <= 12 && firstType >= 'A' &&
           firstType <= 'Z';
  }

  TableData Read(const std::string& path, const std::vector<FieldDef>& /*expected*/) override {
    std::size_t fileSize = 0;
    FileIdentity identity;
    const std::string head = ReadFileHead(path, 65536, fileSize, &identity);
    const DbfLayout layout = CheckLayout(path, head, fileSize);

    const HookScope scope(path);
    SAHooks hooks = Hooks();
    const DbfHandle dbf(DBFOpenLL(path.c_str(), "rb", &hooks));
    if (!dbf)
      ThrowTableError(
          path, "a biblioteca shapelib não conseguiu abrir a tabela (" + scope.Error() + ").");
    DBFHandle h = dbf.get();
    const int nFields = static_cast<int>(layout.fields.size());
    if (DBFGetFieldCount(h) != nFields ||
        DBFGetRecordCount(h) != static_cast<int>(layout.records)) {
      Corrupt(path, "cabeçalho inconsistente");
    }
    const TextCodec codec(CodePageOf(path, layout.ldid));
    codePage_ = codec.Name();
    std::vector<FieldDef> fields;
    std::vector<std::size_t> offsets;
    std::size_t offset = 1;  // after the deletion mark
    for (int i = 0; i < nFields; ++i) {
      char name[XBASE_FLDNAME_LEN_READ + 1] = {};
      int width = 0, decimals = 0;
      DBFGetFieldInfo(h, i, name, &width, &decimals);
      if (width != layout.fields[i].width) Corrupt(path, "cabeçalho inconsistente");
      FieldDef def;
      def.name = codec.Decode(name);
      def.type = TypeOf(layout.fields[i]);
      def.size = def.type == FieldType::String ? width : 0;
      fields.push_back(def);
      offsets.push_back(offset);
      offset += static_cast<std::size_t>(width);
    }
    TableData data = TableData::Empty(fields);
    for (Column& c : data.columns) c.Reserve(layout.records);
    bool deleted = false;
    // Whole records, cut into fields here: shapelib's own field readers drop the leading
    // blanks of a text.
    for (int r = 0; r < static_cast<int>(layout.records); ++r) {
      const char* record = DBFReadTuple(h, r);
      if (!record) {
        ThrowTableError(path, "não foi possível ler o registro " + std::to_string(r + 1) + " (" +
                                  scope.Error() + ").");
      }
      if (record[0] == '*') {
        deleted = true;
        continue;
      }
      for (int i = 0; i < nFields; ++i) {
        const std::string_view raw(record + offsets[i],
                                   static_cast<std::size_t>(layout.fields[i].width));
        ReadValue(raw, layout.fields[i], r, i, codec, data, path);
      }
    }
    if (!scope.Error().empty()) {
      ThrowTableError(path, "não foi possível ler a tabela (" + scope.Error() + ").");
    }
    inPlace_ = false;
    if (!deleted && codePage_ == "CP1252" && SiblingFiles(path, {"dbt", "mdx"}).empty()) {
      KeepPlaces(layout, identity, fields);
    }
    return data;
  }

  void CheckFields(const std::string& path, const std::vector<FieldDef>& fields) const override {
    if (fields.empty() || fields.size() > 255) {
      ThrowTableError(path, "uma tabela dBase tem de 1 a 255 campos.");
    }
    const TextCodec codec("CP1252");
    std::vector<std::string> seen;
    std::size_t recordSize = 1;
    for (const FieldDef& f : fields) {
      CheckFieldName(path, FormatName(), codec, f.name, kMaxNameBytes, seen);
      const DbfField native = NativeOf(f);
      if (native.type == 0) {
        ThrowTableError(path, "o campo \"" + f.name +
                                  "\" é de um tipo (memorando ou dados binários) que este "
                                  "programa não sabe gravar; a tabela não pode ser alterada "
                                  "sem perdê-lo.");
      }
      if (native.width < 1 || native.width > kMaxTextWidth) {
        ThrowTableError(path, "o campo de texto \"" + f.name +
                                  "\" deve ter de 1 a 254 caracteres numa tabela dBase.");
      }
      recordSize += static_cast<std::size_t>(native.width);
    }
    if (recordSize > 65535) {
      ThrowTableError(path, "os campos somam mais do que cabe num registro dBase.");
    }
  }

  void Write(const TableData& data, SafeFile& out) override {
    const std::string& path = out.Path();
    CheckFields(path, data.fields);
    const TextCodec codec("CP1252");
    const HookScope scope(out.TempPath());
    SAHooks hooks = Hooks();
    {
      const std::string ldid = "LDID/" + std::to_string(kLdidAnsi);
      DbfHandle dbf(DBFCreateLL(out.TempPath().c_str(), ldid.c_str(), &hooks));
      if (!dbf) ThrowTableError(path, "não foi possível criar a tabela (" + scope.Error() + ").");
      DBFHandle h = dbf.get();
      // shapelib writes the end-of-file mark after every record it flushes, then seeks back
      // over it for the next one; asked for the mark only with the last record, it writes
      // the records in one stream.
      DBFSetWriteEndOfFileChar(h, 0);
      std::vector<DbfField> natives;
      for (const FieldDef& f : data.fields) {
        const DbfField native = NativeOf(f);
        std::string name;
        codec.Encode(f.name, name);
        if (DBFAddNativeFieldType(h, name.c_str(), native.type, native.width, native.decimals) <
            0) {
          ThrowTableError(path, "a biblioteca shapelib recusou o campo \"" + f.name + "\".");
        }
        natives.push_back(native);
      }
      std::string record;
      for (std::size_t r = 0; r < data.RowCount(); ++r) {
        Encode(data, r, natives, codec, path, record);
        if (!DBFWriteTuple(h, static_cast<int>(r), record.data())) {
          NoteFailure("a biblioteca shapelib recusou o registro " + std::to_string(r + 1));
        }
        if (!scope.Error().empty()) break;
      }
      DBFSetWriteEndOfFileChar(h, 1);
    }  // closing writes the last record, the end-of-file mark and the header's record count
    if (!scope.Error().empty()) {
      ThrowTableError(path, "não foi possível gravar o arquivo (" + scope.Error() +
                                "). A versão anterior do arquivo ficou intacta.");
    }
  }

  void AfterReplace(const std::string& path) override {
    for (const std::string& f : SiblingFiles(path, {"cpg", "dbt", "mdx"})) RemoveIfPresent(f);
    codePage_ = "CP1252";
    inPlace_ = false;
    // Where the records of the new file lie, from its header as shapelib wrote it.
    try {
      std::size_t fileSize = 0;
      FileIdentity identity;
      const std::string head = ReadFileHead(path, 65536, fileSize, &identity);
      const DbfLayout layout = CheckLayout(path, head, fileSize);
      std::vector<FieldDef> fields;
      for (const DbfField& f : layout.fields) fields.push_back({"", TypeOf(f), f.width});
      KeepPlaces(layout, identity, fields);
    } catch (const TableError&) {
      // Nothing lost: every later change then rewrites the whole file.
    }
  }

  std::vector<std::string> CompanionFiles(const std::string& path) const override {
    return SiblingFiles(path, {"cpg", "dbt", "mdx"});
  }

  std::string CodePage() const override { return codePage_; }

  bool KeepsTrailingBlanks() const override { return false; }

  RecordPlaces* Places() override { return inPlace_ ? &places_ : nullptr; }

  void EncodeRecord(const TableData& data, std::size_t row, const std::string& path,
                    std::string& bytes) override {
    Encode(data, row, natives_, codec1252_, path, bytes);
  }

 private:
  // A record may be written in place only into a file of code page 1252 without deleted
  // records, memos or indexes, whose every field has the type, width and decimals we write
  // for it (the caller checks the rest).
  void KeepPlaces(const DbfLayout& layout, const FileIdentity& identity,
                  const std::vector<FieldDef>& fields) {
    natives_.clear();
    for (std::size_t i = 0; i < fields.size(); ++i) {
      const DbfField native = NativeOf(fields[i]);
      const DbfField& f = layout.fields[i];
      if (native.type == 0 || native.type != f.type || native.width != f.width ||
          native.decimals != f.decimals) {
        return;
      }
      natives_.push_back(native);
    }
    places_ = RecordPlaces();
    places_.file = identity;
    places_.recordSize = layout.recordSize;
    places_.rows = layout.records;
    places_.runs.push_back({layout.headerSize, 0});
    inPlace_ = true;
  }

  static std::string CodePageOf(const std::string& path, unsigned ldid) {
    for (const std::string& cpg : SiblingFiles(path, {"cpg"})) {
      std::size_t size = 0;
      try {
        return CodePageOfCpg(ReadFileHead(cpg, 200, size));
      } catch (const TableError&) {
        break;  // an unreadable .cpg: the header's byte still says something
      }
    }
    return CodePageOfLdid(ldid);
  }

  static void ReadValue(std::string_view raw, const DbfField& f, int r, int i,
                        const TextCodec& codec, TableData& data, const std::string& path) {
    Column& column = data.columns[static_cast<std::size_t>(i)];
    if (f.type == 'C') {
      // The text as written, leading blanks included; the blanks at its end are the field's
      // padding (dBase cannot tell them from blanks typed there), and so is anything after a
      // zero byte, which some programs pad with.
      raw = raw.substr(0, std::min(raw.size(), raw.find('\0')));
      while (!raw.empty() && raw.back() == ' ') raw.remove_suffix(1);
      if (raw.empty()) return column.AppendBlank();
      return column.AppendText(codec.Decode(raw));
    }
    const std::string_view text = TrimPads(raw);
    const auto refuse = [&](const char* what) {
      ThrowTableError(path, "registro " + std::to_string(r + 1) + ", campo \"" +
                                data.fields[static_cast<std::size_t>(i)].name + "\": o valor \"" +
                                std::string(text) + "\" " + what + ".");
    };
    switch (f.type) {
      case 'N':
      case 'F': {
        if (text.empty() || text.front() == '*') return column.AppendBlank();
        std::string s(text);
        for (char& c : s) {
          if (c == ',') c = '.';
        }
        double v = 0.0;
        if (!ParseReal(s, v)) refuse("não é um número");
        return column.AppendNumber(v);
      }
      case 'D': {
        // dBase writes a blank date as blanks, shapelib as zeros.
        if (text.empty() || text == "00000000") return column.AppendBlank();
        double v = 0.0;
        if (!ParseDate(std::string(text), v)) refuse("não é uma data AAAAMMDD");
        return column.AppendNumber(v);
      }
      case 'L': {
        const char c = text.empty() ? '?' : text.front();
        if (c == 'T' || c == 't' || c == 'Y' || c == 'y') return column.AppendNumber(1.0);
        if (c == 'F' || c == 'f' || c == 'N' || c == 'n') return column.AppendNumber(0.0);
        return column.AppendBlank();
      }
      default:
        return column.AppendBlank();
    }
  }

  // The bytes of record r: the deletion mark, then each field exactly its width.
  static void Encode(const TableData& data, std::size_t r, const std::vector<DbfField>& natives,
                     const TextCodec& codec, const std::string& path, std::string& record) {
    record.assign(1, ' ');
    std::string text;
    for (std::size_t i = 0; i < natives.size(); ++i) {
      if (data.columns[i].IsBlank(r)) {
        record.append(static_cast<std::size_t>(natives[i].width), BlankFill(natives[i].type));
      } else {
        FieldText(data, r, i, natives[i], codec, path, text);
        record += text;
      }
    }
  }

  // The text of one value, exactly the field's width.
  static void FieldText(const TableData& data, std::size_t r, std::size_t i, const DbfField& native,
                        const TextCodec& codec, const std::string& path, std::string& text) {
    const Column& column = data.columns[i];
    const std::string& name = data.fields[i].name;
    if (native.type == 'C') {
      EncodeFieldText(path, "dBase", codec, r, name, column.Text(r), native.width, text);
      text.append(static_cast<std::size_t>(native.width) - text.size(), ' ');
      return;
    }
    const double v = NumberToWrite(path, r, name, column);
    if (native.type == 'L') {
      text = v != 0.0 ? "T" : "F";
      return;
    }
    if (native.type == 'D') {
      long y = 0;
      unsigned m = 0, d = 0;
      CivilFromDays(static_cast<long>(std::floor(v)) + kDay0FromUnixEpoch, y, m, d);
      if (std::fabs(v) > 4e6 || y < 1 || y > 9999) {
        ThrowRefusedValue(path, r, name, "o valor " + FormatReal(v) + " não é uma data válida.");
      }
      char buffer[16];
      std::snprintf(buffer, sizeof buffer, "%04ld%02u%02u", y, m, d);
      text = buffer;
      return;
    }
    text = NumberText(v, native.width);
    if (static_cast<int>(text.size()) > native.width ||
        (native.decimals == 0 && v != std::trunc(v))) {
      ThrowRefusedValue(path, r, name,
                        "o valor " + FormatReal(v) + " não cabe num campo numérico de " +
                            std::to_string(native.width) + " posições e " +
                            std::to_string(native.decimals) + " decimais.");
    }
    text = RightAligned(text, native.width);
  }

  std::string codePage_ = "CP1252";
  const TextCodec codec1252_{"CP1252"};
  bool inPlace_ = false;
  RecordPlaces places_;
  std::vector<DbfField> natives_;
};

}  // namespace

std::unique_ptr<TableBackend> MakeDBaseBackend() {
  return std::make_unique<DBaseBackend>();
}

}  // namespace qv::detail
