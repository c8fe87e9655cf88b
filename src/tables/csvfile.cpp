// CSV files: a header line of field names, then one line per record.
//
// The separator is "," or ";" (spreadsheets set to Portuguese write ";", since their decimal
// mark is the comma); it is taken from the header line, as whichever of the two occurs more
// often there outside quotes, and kept when the file is rewritten. Numbers use "." as decimal
// point. A cell may be quoted ("...", with "" for a quote inside); an empty cell is a blank.
// Blank lines are skipped. A record with fewer cells than the header has blanks in the rest;
// one with more non-empty cells is an error.
//
// Types: a CSV file has none, so they are inferred. A column whose non-blank cells all read as
// numbers (ParseReal) is a Float field, and so is a column of numbers with some cells that are
// numbers gone wrong or not numbers at all: it is a Float field when its numbers and its
// numbers gone wrong ("1,5" with a decimal comma, "1e309" beyond the range of a double, "NA",
// "NaN", "#N/D" and the other marks of a missing value, WhyNotAReal) outnumber its other
// texts, and at least one of them is a number or a number gone wrong. The bad cells keep their
// text (Column::BadText) and read as text values, so that an analysis stops at the first one
// and names it, instead of passing the whole column over as text; a rewrite of the CSV file
// keeps them, the binary formats refuse them. Any other column is a String field whose size is
// the longest text in it or 30 (the size of the text fields the program creates), whichever is
// larger. A String field whose texts all look like numbers therefore comes back as a Float
// field. A column with no values at all says nothing of its type: it is a String field when
// the table object knew it as one (a table created empty comes back as it was created), a
// Float field otherwise.
//
// The line each record starts on is kept (TableData::sourceLines), for the messages that name
// a cell.
//
// Text is UTF-8 (a byte-order mark at the start is allowed and dropped). A file that is not
// valid UTF-8 is read as Windows code page 1252, which is what a spreadsheet on a Portuguese
// Windows saves under "CSV". Files are written in UTF-8, numbers in their shortest exact form
// (FormatReal), lines ended by "\n".

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "tables/codepage.h"
#include "tables/realtext.h"
#include "tables/safefile.h"
#include "tables/tablebackend.h"

namespace qv::detail {

namespace {

constexpr int kDefaultTextSize = 30;

bool IsSpace(char c) {
  return c == ' ' || c == '\t';
}

// Splits CSV text into records of cells. A cell is a view of the text itself, or, for a quoted
// cell with a doubled quote in it, of the scanner's copy without the doubling; either stays
// valid until the next record is read. No cell is copied otherwise: a table of 360,000 records
// has over a million cells.
class CsvScanner {
 public:
  CsvScanner(std::string_view text, char separator, const std::string& path)
      : p_(text.data()), end_(text.data() + text.size()), separator_(separator), path_(path) {}

  // The next record; false at the end of the text. line is the line the record starts on.
  bool Next(std::vector<std::string_view>& cells, std::size_t& count, std::size_t& line) {
    // Blank lines between records.
    while (p_ < end_ && (*p_ == '\n' || *p_ == '\r')) {
      if (*p_ == '\n') ++line_;
      ++p_;
    }
    if (p_ >= end_) return false;
    line = line_ + 1;
    count = 0;
    while (true) {
      if (count == cells.size()) cells.emplace_back();
      cells[count] = ReadCell(count, line);
      ++count;
      if (p_ >= end_) break;
      const char c = *p_;
      if (c == separator_) {
        ++p_;
        continue;
      }
      // End of the record: "\n", "\r\n" or a lone "\r".
      if (c == '\r') ++p_;
      if (p_ < end_ && *p_ == '\n') ++p_;
      ++line_;
      break;
    }
    return true;
  }

 private:
  bool EndsCell(char c) const { return c == separator_ || c == '\r' || c == '\n'; }

  std::string_view ReadCell(std::size_t index, std::size_t line) {
    const char* p = p_;
    while (p < end_ && IsSpace(*p)) ++p;
    if (p < end_ && *p == '"') return ReadQuoted(index, line, p + 1);
    const char* const start = p;
    while (p < end_ && !EndsCell(*p)) ++p;
    const char* end = p;
    while (end > start && IsSpace(end[-1])) --end;
    p_ = p;
    return {start, static_cast<std::size_t>(end - start)};
  }

  // A quoted cell, from the character after its opening quote.
  std::string_view ReadQuoted(std::size_t index, std::size_t line, const char* p) {
    const char* const start = p;
    std::string* copy = nullptr;  // once a doubled quote has been met
    while (true) {
      if (p >= end_) {
        ThrowTableError(path_, "a linha " + std::to_string(line) +
                                   " abre aspas que não se fecham até o fim do arquivo.");
      }
      const char c = *p++;
      if (c == '"') {
        if (p < end_ && *p == '"') {
          if (copy) {
            copy->push_back('"');
          } else {
            while (copies_.size() <= index) copies_.emplace_back();
            copy = &copies_[index];
            copy->assign(start, static_cast<std::size_t>(p - start));  // up to this quote
          }
          ++p;
        } else {
          break;
        }
      } else {
        if (c == '\n') ++line_;
        if (copy) copy->push_back(c);
      }
    }
    const std::string_view cell =
        copy ? std::string_view(*copy)
             : std::string_view(start, static_cast<std::size_t>(p - 1 - start));
    while (p < end_ && IsSpace(*p)) ++p;
    if (p < end_ && !EndsCell(*p)) {
      ThrowTableError(path_, "linha " + std::to_string(line_ + 1) +
                                 ": há texto depois das aspas que fecham um valor.");
    }
    p_ = p;
    return cell;
  }

  const char* p_;
  const char* const end_;
  char separator_;
  const std::string& path_;
  std::size_t line_ = 0;  // line breaks passed
  // The quoted cells with a doubled quote, by position in the record; a deque, so that the
  // cells of a record already read stay where they are when a later one is added.
  std::deque<std::string> copies_;
};

// The kinds of the non-blank cells of a column.
struct CellCounts {
  std::size_t numbers = 0;  // read by ParseReal
  std::size_t gone = 0;     // numbers gone wrong: a decimal comma, beyond a double's range
  std::size_t marks = 0;    // marks of a missing value: NA, NaN, #N/D...
  std::size_t texts = 0;    // anything else

  std::size_t Bad() const { return gone + marks + texts; }
  // A column of numbers, some of them perhaps bad, or of text.
  bool Numeric() const {
    if (Bad() == 0) return true;
    return numbers + gone > 0 && numbers + gone + marks > texts;
  }
};

std::size_t LineBreaks(std::string_view text) {
  std::size_t count = 0;
  const char* p = text.data();
  const char* const end = p + text.size();
  while ((p = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p))))) {
    ++count;
    ++p;
  }
  return count;
}

// "," or ";", whichever the header line holds more of outside quotes.
char DetectSeparator(std::string_view text) {
  std::size_t commas = 0, semicolons = 0;
  bool quoted = false;
  for (const char c : text) {
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    if (c == '\n' || c == '\r') break;
    if (c == ',') ++commas;
    if (c == ';') ++semicolons;
  }
  return semicolons > commas ? ';' : ',';
}

class CsvBackend final : public TableBackend {
 public:
  const char* FormatName() const override { return "CSV"; }

  bool Detect(std::string_view) const override { return false; }  // any text could be CSV

  TableData Read(const std::string& path, const std::vector<FieldDef>& expected) override {
    FileBytes file = ReadFileBytes(path);
    std::string_view text = file.View();
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    codePage_ = "UTF-8";
    std::string decoded;
    if (!IsValidUtf8(text)) {
      decoded = TextCodec("CP1252").Decode(text);
      text = decoded;
      file = FileBytes();
      codePage_ = "CP1252";
    }
    if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) {
      ThrowTableError(path, "o arquivo está vazio; a primeira linha deve ter os nomes dos campos.");
    }
    if (text.find('\0') != std::string_view::npos) {
      ThrowTableError(path, "o arquivo não é um texto CSV (tem bytes nulos).");
    }
    separator_ = DetectSeparator(text.substr(text.find_first_not_of("\r\n")));

    std::vector<std::string_view> cells;
    std::size_t count = 0, line = 0;
    CsvScanner scan(text, separator_, path);
    scan.Next(cells, count, line);  // the header
    std::vector<FieldDef> fields(count);
    for (std::size_t i = 0; i < count; ++i) {
      fields[i].name = cells[i].empty() ? "Var" + std::to_string(i + 1) : std::string(cells[i]);
    }
    const std::size_t n = fields.size();

    // First pass: the numbers of each column, how many cells of each kind it holds, and the
    // longest texts.
    std::vector<std::vector<double>> numbers(n);
    std::vector<CellCounts> counts(n);
    std::vector<std::size_t> longest(n, 0);
    SourceLines lines;
    // Every record but the last ends in a line break, so their count bounds the records: the
    // columns are sized once instead of growing (and being copied) value by value.
    const std::size_t records = LineBreaks(text) + 1;
    for (std::size_t i = 0; i < n; ++i) numbers[i].reserve(records);
    while (scan.Next(cells, count, line)) {
      CheckWidth(cells, count, n, line, path);
      lines.Add(line);
      for (std::size_t i = 0; i < n; ++i) {
        const std::string_view cell = i < count ? cells[i] : std::string_view();
        if (cell.size() > longest[i]) longest[i] = std::max(longest[i], Utf8Length(cell));
        if (cell.empty()) {
          numbers[i].push_back(Column::kBlank);
          continue;
        }
        double v = 0.0;
        if (ParseReal(cell, v)) {
          ++counts[i].numbers;
        } else {
          v = 0.0;
          switch (WhyNotAReal(cell)) {
            case TNotAReal::DecimalComma:
            case TNotAReal::OutOfRange:
              ++counts[i].gone;
              break;
            case TNotAReal::MissingMark:
              ++counts[i].marks;
              break;
            case TNotAReal::Text:
              ++counts[i].texts;
              break;
          }
        }
        numbers[i].push_back(v);
      }
    }
    const std::size_t rows = lines.Size();
    std::vector<bool> numeric(n);
    bool anyText = false, anyBad = false;
    for (std::size_t i = 0; i < n; ++i) {
      const CellCounts& c = counts[i];
      numeric[i] = c.Numeric();
      if (numeric[i] && longest[i] == 0) {
        // Not a single value: nothing tells the type, so keep the one the table was created
        // (or last read) with.
        for (const FieldDef& e : expected) {
          if (e.name == fields[i].name && e.type == FieldType::String) {
            numeric[i] = false;
            longest[i] = static_cast<std::size_t>(std::max(e.size, 0));
          }
        }
      }
      fields[i].type = numeric[i] ? FieldType::Float : FieldType::String;
      fields[i].size =
          numeric[i] ? 0 : static_cast<int>(std::max<std::size_t>(kDefaultTextSize, longest[i]));
      anyText = anyText || !numeric[i];
      anyBad = anyBad || (numeric[i] && c.Bad() > 0);
    }
    TableData data = TableData::Empty(fields);
    data.sourceLines = std::move(lines);
    for (std::size_t i = 0; i < n; ++i) {
      if (numeric[i]) {
        data.columns[i].Adopt(std::move(numbers[i]));
      } else {
        numbers[i] = {};
        data.columns[i].Reserve(rows);
      }
    }
    if (anyText || anyBad) {  // second pass: the text columns, and the bad cells of numeric ones
      CsvScanner again(text, separator_, path);
      again.Next(cells, count, line);
      for (std::size_t row = 0; again.Next(cells, count, line); ++row) {
        for (std::size_t i = 0; i < n; ++i) {
          const std::string_view cell = i < count ? cells[i] : std::string_view();
          double v = 0.0;
          if (!numeric[i]) {
            data.columns[i].AppendText(std::string(cell));
          } else if (counts[i].Bad() > 0 && !cell.empty() && !ParseReal(cell, v)) {
            data.columns[i].AppendBad(row, std::string(cell));
          }
        }
      }
    }
    return data;
  }

  void CheckFields(const std::string& path, const std::vector<FieldDef>& fields) const override {
    if (fields.empty()) ThrowTableError(path, "a tabela deve ter ao menos um campo.");
  }

  void AfterReplace(const std::string& /*path*/) override { codePage_ = "UTF-8"; }

  std::string CodePage() const override { return codePage_; }

  void Write(const TableData& data, SafeFile& out) override {
    std::string line;
    for (std::size_t i = 0; i < data.fields.size(); ++i) {
      if (i > 0) line.push_back(separator_);
      AppendCell(line, data.fields[i].name);
    }
    line.push_back('\n');
    out.Write(line);
    for (std::size_t r = 0; r < data.RowCount(); ++r) {
      line.clear();
      for (std::size_t i = 0; i < data.columns.size(); ++i) {
        if (i > 0) line.push_back(separator_);
        const Column& c = data.columns[i];
        if (c.IsBlank(r)) continue;
        if (c.IsText()) {
          AppendCell(line, c.Text(r));
        } else if (const std::string* bad = c.BadText(r)) {
          AppendCell(line, *bad);
        } else {
          AppendReal(line, c.Number(r));
        }
      }
      line.push_back('\n');
      out.Write(line);
    }
  }

 private:
  static void CheckWidth(const std::vector<std::string_view>& cells, std::size_t count,
                         std::size_t n, std::size_t line, const std::string& path) {
    for (std::size_t i = n; i < count; ++i) {
      if (!cells[i].empty()) {
        ThrowTableError(path, "a linha " + std::to_string(line) + " tem " + std::to_string(count) +
                                  " valores e o cabeçalho tem " + std::to_string(n) + " campos.");
      }
    }
  }

  void AppendCell(std::string& line, const std::string& text) const {
    const bool quote =
        text.find_first_of(std::string("\"\r\n") + separator_) != std::string::npos ||
        (!text.empty() && (IsSpace(text.front()) || IsSpace(text.back())));
    if (!quote) {
      line += text;
      return;
    }
    line.push_back('"');
    for (const char c : text) {
      if (c == '"') line.push_back('"');
      line.push_back(c);
    }
    line.push_back('"');
  }

  char separator_ = ',';
  std::string codePage_ = "UTF-8";
};

}  // namespace

std::unique_ptr<TableBackend> MakeCsvBackend() {
  return std::make_unique<CsvBackend>();
}

}  // namespace qv::detail
