// Paradox tables (.db) through pxlib.
//
// What pxlib does here and what we do ourselves, and why:
//
// - pxlib parses the header (PX_open_fp), lays out the header of a new table (PX_create_fp)
//   and converts every field value to and from its bytes (PX_get_data_*, PX_put_data_*). A
//   blank is a field of zero bytes; PX_retrieve_record does not tell a blank number from
//   zero, so it is not used, and since one getter misjudges blanks too (see ReadValue) blanks
//   are recognised here before a getter is called.
// - pxlib trusts the header: it allocates and reads by its counts without comparing them with
//   the file, reads past the end of a truncated file into uninitialised memory, and follows
//   the chain of data blocks wherever it points. So the whole file is read into memory and
//   checked here first (CheckLayout): every count and size against the file's size, every
//   block of the chain inside the file and visited once, the records found equal to the
//   records announced. Only a file that passes is shown to pxlib, as a memory stream.
// - Records are taken from the data blocks here, not with PX_get_record: that looks each
//   record up by a linear walk of the block list (a full read of 360,000 records takes
//   about a second). Likewise the data blocks of a new file are laid out here: PX_put_record
//   rewrites the whole header after every record, and writing 360,000 records that way takes
//   over ten seconds.
// - Text: pxlib can recode through iconv (PX_set_targetencoding/PX_set_inputencoding), but it
//   silently stores a blank for a text it cannot convert and returns nothing for a stored byte
//   the code page leaves undefined. We recode ourselves (TextCodec) so that a text that cannot
//   be written is refused with a message, and reading never loses a value.
// - An edited record is written in place (recordpatch.h), at the place the data blocks give
//   it, but only in a file laid out as we write one (see KeepPlaces); any other file is
//   rewritten whole in our layout at its first change.
//
// Code page: new files are written in Windows code page 1252 and say so in their header
// (pxlib's default, and the code page of Paradox for Windows with its ANSI language drivers,
// so that the BDE and other readers show the accents right). A file's own code page (the header's
// DOS code page field) is honoured when reading; files from before Paradox 4, which have no such
// field, are read as DOS code page 850, the DOS page that holds every Portuguese letter (437 lacks
// ã and õ).
//
// Field types read: Alpha is text; Number, Currency, Short, Long, AutoInc and BCD are numbers;
// Date is a day number counted from 30 December 1899, Time a fraction of a day, Timestamp both
// (the day numbers spreadsheets use); Logical is 0 or 1. A memo whose
// whole text is held in the record reads as that text; longer memos (kept in the .MB file),
// formatted memos, BLOBs, OLE, graphics and Bytes read as blank, and a table with such fields
// cannot be rewritten (it would lose them).
//
// Field types written: Float as Number, String as Alpha of its size, Integer as Long,
// Currency, Date, Time, Timestamp and Logical as themselves. A rewritten table has no primary
// key (records stay in table order), so a stale primary or secondary index of the old version
// is removed after the new file is in place. Number has a single zero: -0.0 is stored as 0.
// Tables protected by a password are refused (their blocks are encrypted).

// paradox.h declares its functions without C linkage guards.
extern "C" {
#include <paradox.h>
}

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tables/codepage.h"
#include "tables/realtext.h"
#include "tables/tablebackend.h"

namespace qv::detail {

namespace {

// Offsets in the header (little-endian). The layout is pxlib's (fileformat.h) and that of
// the Paradox file format notes it is based on.
constexpr std::size_t kOffRecordSize = 0x00;
constexpr std::size_t kOffHeaderSize = 0x02;
constexpr std::size_t kOffFileType = 0x04;
constexpr std::size_t kOffMaxTableSize = 0x05;
constexpr std::size_t kOffNumRecords = 0x06;
constexpr std::size_t kOffNextBlock = 0x0A;
constexpr std::size_t kOffFileBlocks = 0x0C;
constexpr std::size_t kOffFirstBlock = 0x0E;
constexpr std::size_t kOffLastBlock = 0x10;
constexpr std::size_t kOffNumFields = 0x21;
constexpr std::size_t kOffEncryption1 = 0x25;
constexpr std::size_t kOffFileVersion = 0x39;
constexpr std::size_t kOffMaxBlocks = 0x3A;
constexpr std::size_t kOffRefIntegrity = 0x55;
constexpr std::size_t kOffEncryption2 = 0x5C;
constexpr std::size_t kOffCodePage = 0x6A;
constexpr std::size_t kCommonHeaderEnd = 0x58;
constexpr std::size_t kDataHeaderEnd = 0x78;  // files of Paradox 4 and later
constexpr std::size_t kBlockHeaderSize = 6;   // next block, previous block, last record offset
constexpr std::uint32_t kNoEncryptionMark = 0xFF00FF00;
// pxlib reads the block count as a signed 16-bit number.
constexpr unsigned kMaxFileBlocks = 32767;
constexpr std::size_t kMaxNameLength = 25;  // Paradox's limit for a field name
constexpr int kAlphaMax = 255;
// Day 1 of Paradox's dates is 1 January of year 1; day 0 of ours is 30 December 1899.
constexpr long kDateShift = 693594;
constexpr double kMsPerDay = 86400000.0;

void PutU16(std::string& b, std::size_t off, unsigned v) {
  b[off] = static_cast<char>(v & 0xFF);
  b[off + 1] = static_cast<char>((v >> 8) & 0xFF);
}
void PutU32(std::string& b, std::size_t off, std::uint32_t v) {
  PutU16(b, off, v & 0xFFFF);
  PutU16(b, off + 2, v >> 16);
}

// Length in the record of a field of this type and declared size; 0 for an unknown type or
// an impossible size.
int FieldLength(unsigned type, unsigned size) {
  switch (type) {
    case pxfAlpha:
    case pxfBytes:
      return size >= 1 ? static_cast<int>(size) : 0;
    case pxfDate:
    case pxfLong:
    case pxfTime:
    case pxfAutoInc:
      return size == 4 ? 4 : 0;
    case pxfShort:
      return size == 2 ? 2 : 0;
    case pxfCurrency:
    case pxfNumber:
    case pxfTimestamp:
      return size == 8 ? 8 : 0;
    case pxfLogical:
      return size == 1 ? 1 : 0;
    case pxfMemoBLOb:
    case pxfBLOb:
    case pxfFmtMemoBLOb:
    case pxfOLE:
    case pxfGraphic:
      return size >= 10 ? static_cast<int>(size) : 0;
    case pxfBCD:  // the size byte holds the number of decimals; the value takes 17 bytes
      return size <= 32 ? 17 : 0;
    default:
      return 0;
  }
}

FieldType TypeOf(unsigned pxType) {
  switch (pxType) {
    case pxfAlpha:
      return FieldType::String;
    case pxfNumber:
    case pxfBCD:
      return FieldType::Float;
    case pxfCurrency:
      return FieldType::Currency;
    case pxfShort:
    case pxfLong:
    case pxfAutoInc:
      return FieldType::Integer;
    case pxfDate:
      return FieldType::Date;
    case pxfTime:
      return FieldType::Time;
    case pxfTimestamp:
      return FieldType::Timestamp;
    case pxfLogical:
      return FieldType::Logical;
    default:
      return FieldType::Other;
  }
}

struct Block {
  std::size_t offset;  // of its first record
  std::size_t records;
};

struct Layout {
  unsigned fileType = 0;
  unsigned recordSize = 0;
  unsigned headerSize = 0;
  std::size_t blockSize = 0;
  unsigned numFields = 0;
  std::uint32_t numRecords = 0;
  unsigned codePage = 0;
  std::vector<unsigned> types;
  std::vector<int> lengths;
  std::vector<Block> blocks;  // in table order
};

[[noreturn]] void Corrupt(const std::string& path, const std::string& what) {
  ThrowTableError(path,
                  "o arquivo não é uma tabela Paradox válida ou está danificado (" + what + ").");
}

// Checks everything pxlib would trust, against the file's size. See the top of the file.
Layout CheckLayout(const std::string& path, const std::string& b) {
  if (b.empty()) ThrowTableError(path, "o arquivo está vazio.");
  if (b.size() < kCommonHeaderEnd) Corrupt(path, "arquivo curto demais para um cabeçalho");
  Layout l;
  const unsigned fileType = U8(b, kOffFileType);
  l.fileType = fileType;
  if (fileType != 0 && fileType != 2) {
    Corrupt(path, fileType <= 8 ? "é um arquivo de índice, não uma tabela"
                                : "tipo de arquivo desconhecido");
  }
  const unsigned version = U8(b, kOffFileVersion);
  if (version < 3 || version > 12) Corrupt(path, "versão de arquivo desconhecida");
  const unsigned maxTableSize = U8(b, kOffMaxTableSize);
  if (maxTableSize != 1 && maxTableSize != 2 && maxTableSize != 3 && maxTableSize != 4 &&
      maxTableSize != 8 && maxTableSize != 16 && maxTableSize != 32) {
    Corrupt(path, "tamanho de bloco inválido");
  }
  l.blockSize = maxTableSize * std::size_t{1024};
  l.recordSize = U16(b, kOffRecordSize);
  l.headerSize = U16(b, kOffHeaderSize);
  l.numFields = U16(b, kOffNumFields);
  l.numRecords = U32(b, kOffNumRecords);
  if (l.recordSize == 0 || l.recordSize > l.blockSize - kBlockHeaderSize) {
    Corrupt(path, "tamanho de registro inválido");
  }
  if (l.numFields == 0 || l.numFields > 255) Corrupt(path, "número de campos inválido");
  const std::size_t infoStart = version >= 5 ? kDataHeaderEnd : kCommonHeaderEnd;
  const std::size_t tableNameLength = version == 12 ? 261 : 79;
  const std::size_t namesStart =
      infoStart + l.numFields * 2 + 4 + l.numFields * 4 + tableNameLength;
  if (l.headerSize < namesStart || l.headerSize > b.size()) {
    Corrupt(path, b.size() < namesStart ? "cabeçalho truncado" : "tamanho de cabeçalho inválido");
  }
  std::uint32_t encryption = U32(b, kOffEncryption1);
  if (encryption == kNoEncryptionMark) encryption = version >= 5 ? U32(b, kOffEncryption2) : 0;
  if (encryption != 0) {
    ThrowTableError(path,
                    "a tabela está protegida por senha; retire a senha no Paradox e "
                    "tente de novo.");
  }
  l.codePage = version >= 5 ? U16(b, kOffCodePage) : 0;

  unsigned sum = 0;
  for (unsigned i = 0; i < l.numFields; ++i) {
    const unsigned type = U8(b, infoStart + 2 * i);
    const int length = FieldLength(type, U8(b, infoStart + 2 * i + 1));
    if (length == 0)
      Corrupt(path, "campo " + std::to_string(i + 1) + " de tipo ou tamanho inválido");
    l.types.push_back(type);
    l.lengths.push_back(length);
    sum += static_cast<unsigned>(length);
  }
  if (sum != l.recordSize) Corrupt(path, "os campos não somam o tamanho do registro");
  std::size_t pos = namesStart;
  for (unsigned i = 0; i < l.numFields; ++i) {
    const std::size_t end = b.find('\0', pos);
    if (end == std::string::npos || end >= l.headerSize) Corrupt(path, "nomes de campos truncados");
    if (end - pos > kAlphaMax) Corrupt(path, "nome de campo longo demais");
    pos = end + 1;
  }

  const unsigned fileBlocks = U16(b, kOffFileBlocks);
  if (fileBlocks > kMaxFileBlocks) {
    ThrowTableError(path, "a tabela tem mais blocos de dados do que este programa sabe ler.");
  }
  if (l.headerSize + fileBlocks * l.blockSize > b.size()) Corrupt(path, "arquivo truncado");
  std::vector<bool> seen(fileBlocks + 1, false);
  std::uint64_t found = 0;
  for (unsigned block = U16(b, kOffFirstBlock); block != 0;) {
    if (block > fileBlocks || seen[block]) Corrupt(path, "cadeia de blocos de dados danificada");
    seen[block] = true;
    const std::size_t start = l.headerSize + (block - 1) * l.blockSize;
    const int lastOffset = static_cast<std::int16_t>(U16(b, start + 4));
    // A block whose records were all deleted says -recordSize; anything else must be a whole
    // number of records that fits in the block.
    if (lastOffset != -static_cast<int>(l.recordSize)) {
      if (lastOffset < 0 || lastOffset % static_cast<int>(l.recordSize) != 0 ||
          lastOffset + l.recordSize > l.blockSize - kBlockHeaderSize) {
        Corrupt(path, "bloco de dados " + std::to_string(block) + " danificado");
      }
      const std::size_t n = static_cast<std::size_t>(lastOffset) / l.recordSize + 1;
      l.blocks.push_back({start + kBlockHeaderSize, n});
      found += n;
    }
    block = U16(b, start);
  }
  if (found != l.numRecords) {
    Corrupt(path, "o cabeçalho anuncia " + std::to_string(l.numRecords) +
                      " registros e os blocos de dados têm " + std::to_string(found));
  }
  return l;
}

// pxlib reports through this handler (the default one prints to stdout); we keep the last
// message for the error we throw.
void KeepMessage(pxdoc_t* /*doc*/, int level, const char* message, void* data) {
  if (level == PX_Warning || data == nullptr) return;
  *static_cast<std::string*>(data) = message ? message : "";
}

struct PxDeleter {
  void operator()(pxdoc_t* doc) const { PX_delete(doc); }
};
using PxDoc = std::unique_ptr<pxdoc_t, PxDeleter>;

PxDoc NewDoc(std::string* messages) {
  PxDoc doc(PX_new3(KeepMessage, nullptr, nullptr, nullptr, messages));
  if (!doc) throw std::bad_alloc();
  return doc;
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

std::string CodePageName(unsigned codePage) {
  if (codePage == 0) return "CP850";
  return "CP" + std::to_string(codePage);
}

std::string TrimNuls(const char* data, std::size_t maxLength) {
  return std::string(data, strnlen(data, maxLength));
}

// A memo's text when the record holds all of it; blank otherwise.
std::string InlineMemo(pxdoc_t* doc, const char* data, int length) {
  const int leader = length - 10;
  std::string bytes(data + leader + 4, 4);
  const std::uint32_t size = U32(bytes, 0);
  if (size == 0 || size > static_cast<std::uint32_t>(leader)) return {};
  int mod = 0, blobSize = 0;
  char* value = nullptr;
  std::string text;
  if (PX_get_data_blob(doc, data, length, &mod, &blobSize, &value) > 0 && value) {
    text = TrimNuls(value, static_cast<std::size_t>(blobSize));
    doc->free(doc, value);
  }
  return text;
}

// In-memory FILE for pxlib to write a new header into.
struct MemoryFile {
  std::string data;
  std::size_t pos = 0;
};

ssize_t MemRead(void* cookie, char* buf, std::size_t size) {
  auto* m = static_cast<MemoryFile*>(cookie);
  if (m->pos >= m->data.size()) return 0;
  const std::size_t n = std::min(size, m->data.size() - m->pos);
  std::memcpy(buf, m->data.data() + m->pos, n);
  m->pos += n;
  return static_cast<ssize_t>(n);
}

ssize_t MemWrite(void* cookie, const char* buf, std::size_t size) {
  auto* m = static_cast<MemoryFile*>(cookie);
  if (m->pos + size > m->data.size()) m->data.resize(m->pos + size, '\0');
  std::memcpy(m->data.data() + m->pos, buf, size);
  m->pos += size;
  return static_cast<ssize_t>(size);
}

int MemSeek(void* cookie, off64_t* offset, int whence) {
  auto* m = static_cast<MemoryFile*>(cookie);
  const off64_t base = whence == SEEK_SET   ? 0
                       : whence == SEEK_CUR ? static_cast<off64_t>(m->pos)
                                            : static_cast<off64_t>(m->data.size());
  if (base + *offset < 0) return -1;
  m->pos = static_cast<std::size_t>(base + *offset);
  *offset = static_cast<off64_t>(m->pos);
  return 0;
}

struct PxNative {
  char type;
  int length;
};

PxNative NativeOf(const FieldDef& f) {
  switch (f.type) {
    case FieldType::Float:
      return {pxfNumber, 8};
    case FieldType::String:
      return {pxfAlpha, f.size};
    case FieldType::Integer:
      return {pxfLong, 4};
    case FieldType::Currency:
      return {pxfCurrency, 8};
    case FieldType::Date:
      return {pxfDate, 4};
    case FieldType::Time:
      return {pxfTime, 4};
    case FieldType::Timestamp:
      return {pxfTimestamp, 8};
    case FieldType::Logical:
      return {pxfLogical, 1};
    case FieldType::Other:
      break;
  }
  return {0, 0};
}

class ParadoxBackend final : public TableBackend {
 public:
  const char* FormatName() const override { return "Paradox"; }

  bool Detect(std::string_view head) const override {
    if (head.size() < kCommonHeaderEnd) return false;
    const std::string b(head.substr(0, kCommonHeaderEnd));
    const unsigned maxTableSize = U8(b, kOffMaxTableSize);
    const unsigned version = U8(b, kOffFileVersion);
    return (U8(b, kOffFileType) == 0 || U8(b, kOffFileType) == 2) && version >= 3 &&
           version <= 12 && maxTableSize >= 1 && maxTableSize <= 32 && U16(b, kOffRecordSize) > 0 &&
           U16(b, kOffHeaderSize) >= kCommonHeaderEnd && U16(b, kOffNumFields) > 0;
  }

  TableData Read(const std::string& path, const std::vector<FieldDef>& /*expected*/) override {
    FileIdentity identity;
    std::string bytes = ReadWholeFile(path, &identity);
    const Layout layout = CheckLayout(path, bytes);

    std::string message;
    PxDoc doc = NewDoc(&message);
    std::unique_ptr<std::FILE, FileCloser> stream(fmemopen(bytes.data(), bytes.size(), "rb"));
    if (!stream) throw std::bad_alloc();
    if (PX_open_fp(doc.get(), stream.get()) < 0) {
      ThrowTableError(path, "a biblioteca pxlib não conseguiu ler o cabeçalho (" + message + ").");
    }
    if (PX_get_num_fields(doc.get()) != static_cast<int>(layout.numFields) ||
        PX_get_recordsize(doc.get()) != static_cast<int>(layout.recordSize)) {
      Corrupt(path, "cabeçalho inconsistente");
    }
    const TextCodec codec(CodePageName(layout.codePage));
    codePage_ = codec.Name();
    const pxfield_t* pxFields = PX_get_fields(doc.get());
    std::vector<FieldDef> fields;
    for (unsigned i = 0; i < layout.numFields; ++i) {
      const pxfield_t& f = pxFields[i];
      FieldDef def;
      def.name = codec.Decode(f.px_fname ? f.px_fname : "");
      def.type = TypeOf(static_cast<unsigned char>(f.px_ftype));
      def.size = def.type == FieldType::String ? f.px_flen : 0;
      fields.push_back(def);
    }
    TableData data = TableData::Empty(fields);
    for (Column& c : data.columns) c.Reserve(layout.numRecords);
    for (const Block& block : layout.blocks) {
      for (std::size_t r = 0; r < block.records; ++r) {
        char* record = bytes.data() + block.offset + r * layout.recordSize;
        for (unsigned i = 0; i < layout.numFields; ++i) {
          ReadValue(doc.get(), codec, pxFields[i], record, data.columns[i]);
          record += layout.lengths[i];
        }
      }
    }
    KeepPlaces(path, layout, identity, fields);
    return data;
  }

  void CheckFields(const std::string& path, const std::vector<FieldDef>& fields) const override {
    if (fields.empty() || fields.size() > 255) {
      ThrowTableError(path, "uma tabela Paradox tem de 1 a 255 campos.");
    }
    const TextCodec codec("CP1252");
    std::vector<std::string> seen;
    std::size_t recordSize = 0;
    for (const FieldDef& f : fields) {
      CheckFieldName(path, FormatName(), codec, f.name, kMaxNameLength, seen);
      const PxNative native = NativeOf(f);
      if (native.type == 0) {
        ThrowTableError(path, "o campo \"" + f.name +
                                  "\" é de um tipo (memorando, imagem ou dados binários) que "
                                  "este programa não sabe gravar; a tabela não pode ser "
                                  "alterada sem perdê-lo.");
      }
      if (native.length < 1 || native.length > kAlphaMax) {
        ThrowTableError(path, "o campo de texto \"" + f.name +
                                  "\" deve ter de 1 a 255 caracteres numa tabela Paradox.");
      }
      recordSize += static_cast<std::size_t>(native.length);
    }
    // pxlib gives records of 120 bytes or more blocks of 16 KB.
    if (recordSize > 16 * 1024 - kBlockHeaderSize) {
      ThrowTableError(path, "os campos somam mais do que cabe num registro Paradox.");
    }
  }

  void Write(const TableData& data, SafeFile& out) override {
    const std::string& path = out.Path();
    CheckFields(path, data.fields);
    const TextCodec codec("CP1252");
    std::string message;
    PxDoc doc = NewDoc(&message);
    std::string header = MakeHeader(doc.get(), codec, data.fields, path, message);

    const std::size_t recordSize = U16(header, kOffRecordSize);
    std::size_t blockSize = U8(header, kOffMaxTableSize) * std::size_t{1024};
    const std::size_t rows = data.RowCount();
    auto blocksFor = [&](std::size_t size) {
      const std::size_t perBlock = (size - kBlockHeaderSize) / recordSize;
      return (rows + perBlock - 1) / perBlock;
    };
    if (blocksFor(blockSize) > kMaxFileBlocks) {
      blockSize = 32 * 1024;
      header[kOffMaxTableSize] = 32;
    }
    const std::size_t blocks = blocksFor(blockSize);
    if (blocks > kMaxFileBlocks || rows > std::numeric_limits<std::int32_t>::max()) {
      ThrowTableError(path, "a tabela tem registros demais para um arquivo Paradox.");
    }
    const std::size_t perBlock = (blockSize - kBlockHeaderSize) / recordSize;
    PutU32(header, kOffNumRecords, static_cast<std::uint32_t>(rows));
    PutU16(header, kOffNextBlock, static_cast<unsigned>(blocks));
    PutU16(header, kOffFileBlocks, static_cast<unsigned>(blocks));
    PutU16(header, kOffFirstBlock, blocks > 0 ? 1 : 0);
    PutU16(header, kOffLastBlock, static_cast<unsigned>(blocks));
    PutU16(header, kOffMaxBlocks, static_cast<unsigned>(blocks));
    header[kOffRefIntegrity] = 0;  // pxlib leaves it uninitialised; we have no such rules
    out.Write(header);

    std::vector<PxNative> natives;
    for (const FieldDef& f : data.fields) natives.push_back(NativeOf(f));
    pending_ = RecordPlaces();
    pending_.recordSize = recordSize;
    pending_.rows = rows;
    for (std::size_t b = 0; b < blocks; ++b) {
      pending_.runs.push_back({header.size() + b * blockSize + kBlockHeaderSize, b * perBlock});
    }
    pendingNatives_ = natives;
    std::string block(blockSize, '\0');
    std::string encoded;
    for (std::size_t b = 0; b < blocks; ++b) {
      std::fill(block.begin(), block.end(), '\0');
      const std::size_t first = b * perBlock;
      const std::size_t n = std::min(perBlock, rows - first);
      PutU16(block, 0, b + 1 < blocks ? static_cast<unsigned>(b + 2) : 0);
      PutU16(block, 2, static_cast<unsigned>(b));
      PutU16(block, 4, static_cast<unsigned>((n - 1) * recordSize));
      for (std::size_t k = 0; k < n; ++k) {
        char* p = block.data() + kBlockHeaderSize + k * recordSize;
        for (std::size_t i = 0; i < natives.size(); ++i) {
          WriteValue(doc.get(), codec, data, first + k, i, natives[i], p, encoded, path);
          p += natives[i].length;
        }
      }
      out.Write(block);
    }
  }

  void AfterReplace(const std::string& path) override {
    // Our files have no key and no memo fields: an index or memo file of the old version
    // would only contradict the new one (the BDE refuses a table whose index is out of date).
    for (const std::string& f : SiblingFiles(path, {"PX", "MB", "X??", "Y??"})) {
      RemoveIfPresent(f);
    }
    codePage_ = "CP1252";
    natives_ = std::move(pendingNatives_);
    places_ = std::move(pending_);
    const std::optional<FileIdentity> identity = IdentityOf(path);
    inPlace_ = identity.has_value() && !natives_.empty();
    if (identity) places_.file = *identity;
  }

  std::string CodePage() const override { return codePage_; }

  RecordPlaces* Places() override { return inPlace_ ? &places_ : nullptr; }

  void EncodeRecord(const TableData& data, std::size_t row, const std::string& path,
                    std::string& bytes) override {
    if (!doc_) doc_ = NewDoc(&docMessage_);
    bytes.assign(places_.recordSize, '\0');
    char* p = bytes.data();
    std::string encoded;
    for (std::size_t i = 0; i < natives_.size(); ++i) {
      WriteValue(doc_.get(), codec1252_, data, row, i, natives_[i], p, encoded, path);
      p += natives_[i].length;
    }
  }

  std::vector<std::string> CompanionFiles(const std::string& path) const override {
    return SiblingFiles(path, {"PX", "MB", "X??", "Y??", "VAL", "TV", "FAM"});
  }

 private:
  // A record may be written in place only into a file laid out as we write one: no key and no
  // index (an index would go stale), text in code page 1252, and every field of the type and
  // length we write for it.
  void KeepPlaces(const std::string& path, const Layout& layout, const FileIdentity& identity,
                  const std::vector<FieldDef>& fields) {
    inPlace_ = false;
    natives_.clear();
    if (layout.fileType != pxfFileTypNonIndexDB || layout.codePage != 1252) return;
    for (std::size_t i = 0; i < fields.size(); ++i) {
      const PxNative native = NativeOf(fields[i]);
      if (native.type == 0 || static_cast<unsigned char>(native.type) != layout.types[i] ||
          native.length != layout.lengths[i]) {
        return;
      }
      natives_.push_back(native);
    }
    if (!SiblingFiles(path, {"PX", "X??", "Y??"}).empty()) return;
    places_ = RecordPlaces();
    places_.file = identity;
    places_.recordSize = layout.recordSize;
    for (const Block& block : layout.blocks) {
      places_.runs.push_back({block.offset, places_.rows});
      places_.rows += block.records;
    }
    inPlace_ = true;
  }

  std::string codePage_ = "CP1252";
  const TextCodec codec1252_{"CP1252"};
  bool inPlace_ = false;
  RecordPlaces places_, pending_;
  std::vector<PxNative> natives_, pendingNatives_;
  std::string docMessage_;
  PxDoc doc_;

  static void ReadValue(pxdoc_t* doc, const TextCodec& codec, const pxfield_t& f, char* p,
                        Column& column) {
    const int length = f.px_flen;
    // A blank is all bytes zero. pxlib's getters say so by returning 0, except that
    // PX_get_data_long tests eight bytes for zero where the field has four (a long is eight
    // bytes here), so it calls a blank Long, Date or Time -2147483648. Blanks are found here.
    if (std::all_of(p, p + length, [](char c) { return c == '\0'; })) return column.AppendBlank();
    switch (static_cast<unsigned char>(f.px_ftype)) {
      case pxfAlpha: {
        char* value = nullptr;
        std::string text;
        if (PX_get_data_alpha(doc, p, length, &value) > 0 && value) {
          text = codec.Decode(TrimNuls(value, static_cast<std::size_t>(length)));
          doc->free(doc, value);
        }
        column.AppendText(std::move(text));
        return;
      }
      case pxfNumber:
      case pxfCurrency: {
        double v = 0.0;
        if (PX_get_data_double(doc, p, 8, &v) > 0 && std::isfinite(v))
          return column.AppendNumber(v);
        break;
      }
      case pxfShort: {
        short v = 0;
        if (PX_get_data_short(doc, p, 2, &v) > 0) return column.AppendNumber(v);
        break;
      }
      case pxfLong:
      case pxfAutoInc: {
        long v = 0;
        if (PX_get_data_long(doc, p, 4, &v) > 0) return column.AppendNumber(static_cast<double>(v));
        break;
      }
      case pxfDate: {
        long v = 0;
        if (PX_get_data_long(doc, p, 4, &v) > 0) {
          return column.AppendNumber(static_cast<double>(v - kDateShift));
        }
        break;
      }
      case pxfTime: {
        long v = 0;
        if (PX_get_data_long(doc, p, 4, &v) > 0) {
          return column.AppendNumber(static_cast<double>(v) / kMsPerDay);
        }
        break;
      }
      case pxfTimestamp: {
        double v = 0.0;
        if (PX_get_data_double(doc, p, 8, &v) > 0 && std::isfinite(v)) {
          return column.AppendNumber(v / kMsPerDay - static_cast<double>(kDateShift));
        }
        break;
      }
      case pxfLogical: {
        char v = 0;
        if (PX_get_data_byte(doc, p, 1, &v) > 0) return column.AppendNumber(v != 0 ? 1.0 : 0.0);
        break;
      }
      case pxfBCD: {
        // pxlib returns -1 (and keeps its buffer) when the digit count in the value differs
        // from the field's; such a value is blank.
        if ((static_cast<unsigned char>(p[0]) & 0x3F) != static_cast<unsigned>(f.px_fdc)) break;
        char* value = nullptr;
        if (PX_get_data_bcd(doc, reinterpret_cast<unsigned char*>(p), f.px_fdc, &value) > 0 &&
            value) {
          // pxlib writes the decimal point of the C locale in force; ours is ".".
          std::string text(value);
          doc->free(doc, value);
          for (char& c : text) {
            if (!(c >= '0' && c <= '9') && c != '-') c = '.';
          }
          double v = 0.0;
          if (ParseReal(text, v)) return column.AppendNumber(v);
        }
        break;
      }
      case pxfMemoBLOb:
        if (column.IsText()) return column.AppendText(codec.Decode(InlineMemo(doc, p, length)));
        break;
      default:
        break;
    }
    column.AppendBlank();
  }

  static void WriteValue(pxdoc_t* doc, const TextCodec& codec, const TableData& data,
                         std::size_t row, std::size_t field, const PxNative& native, char* p,
                         std::string& encoded, const std::string& path) {
    const Column& column = data.columns[field];
    if (column.IsBlank(row)) return;  // all bytes zero
    const std::string& name = data.fields[field].name;
    if (native.type == pxfAlpha) {
      EncodeFieldText(path, "Paradox", codec, row, name, column.Text(row), native.length, encoded);
      PX_put_data_alpha(doc, p, native.length, encoded.data());
      return;
    }
    const double v = NumberToWrite(path, row, name, column);
    switch (native.type) {
      case pxfNumber:
      case pxfCurrency:
        PX_put_data_double(doc, p, 8, v);
        return;
      case pxfTimestamp:
        PX_put_data_double(doc, p, 8, (v + static_cast<double>(kDateShift)) * kMsPerDay);
        return;
      case pxfLogical:
        PX_put_data_byte(doc, p, 1, v != 0.0 ? 1 : 0);
        return;
      default:
        break;
    }
    // The four-byte types. A Long of -2^31 would be stored as all zero bytes, a blank.
    double stored = v;
    if (native.type == pxfDate) stored = std::floor(v) + static_cast<double>(kDateShift);
    if (native.type == pxfTime) stored = std::round((v - std::floor(v)) * kMsPerDay);
    if (stored != std::trunc(stored) || std::fabs(stored) > 2147483647.0) {
      ThrowRefusedValue(path, row, name,
                        "o valor " + FormatReal(v) + " não cabe num campo " +
                            (native.type == pxfDate ? "de data" : "inteiro") + " Paradox.");
    }
    PX_put_data_long(doc, p, 4, static_cast<int>(stored));
  }

  // The header of a new table with these fields and no records, as pxlib writes it.
  static std::string MakeHeader(pxdoc_t* doc, const TextCodec& codec,
                                const std::vector<FieldDef>& fields, const std::string& path,
                                const std::string& message) {
    // pxlib frees the field list and the names with free() when the document is deleted.
    auto* pxFields = static_cast<pxfield_t*>(std::calloc(fields.size(), sizeof(pxfield_t)));
    if (!pxFields) throw std::bad_alloc();
    for (std::size_t i = 0; i < fields.size(); ++i) {
      std::string name;
      codec.Encode(fields[i].name, name);
      const PxNative native = NativeOf(fields[i]);
      pxFields[i].px_fname = strdup(name.c_str());
      pxFields[i].px_ftype = native.type;
      pxFields[i].px_flen = native.length;
      pxFields[i].px_fdc = 0;
    }
    MemoryFile memory;
    const cookie_io_functions_t io{MemRead, MemWrite, MemSeek, nullptr};
    std::FILE* stream = fopencookie(&memory, "w+", io);
    if (!stream) {
      for (std::size_t i = 0; i < fields.size(); ++i) std::free(pxFields[i].px_fname);
      std::free(pxFields);
      throw std::bad_alloc();
    }
    if (PX_create_fp(doc, pxFields, static_cast<int>(fields.size()), stream, pxfFileTypNonIndexDB) <
        0) {
      std::fclose(stream);
      ThrowTableError(path,
                      "a biblioteca pxlib não conseguiu criar o cabeçalho (" + message + ").");
    }
    // Paradox keeps the table's file name in the header.
    std::string tableName;
    if (codec.Encode(std::filesystem::path(path).filename().string(), tableName)) {
      tableName.resize(std::min<std::size_t>(tableName.size(), 78));
      PX_set_tablename(doc, tableName.c_str());
    }
    doc->px_stream->close = px_true;  // PX_close then closes (and flushes) our stream
    PX_close(doc);
    if (memory.data.size() < kDataHeaderEnd ||
        memory.data.size() != U16(memory.data, kOffHeaderSize)) {
      ThrowTableError(path, "a biblioteca pxlib criou um cabeçalho inconsistente.");
    }
    return memory.data;
  }
};

}  // namespace

std::unique_ptr<TableBackend> MakeParadoxBackend() {
  return std::make_unique<ParadoxBackend>();
}

}  // namespace qv::detail
