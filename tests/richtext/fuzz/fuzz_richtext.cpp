// libFuzzer target for the Rich Text reader: any bytes, as a file the report window opens.
//
// Besides the sanitizers' findings (memory errors, undefined behaviour, leaks) it checks what
// the reader promises: a document or an error message, never both nor neither; a document in
// canonical form, of a size linear in the input; and a document that comes back unchanged
// when it is written and read again.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "richtext/rtf.h"

namespace {

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "richtext fuzz: %s\n", what);
    std::abort();
  }
}

void CheckDocument(const qv::richtext::TReadResult& r, std::size_t inputSize) {
  using namespace qv::richtext;
  Check(r.document.has_value() != !r.error.empty(), "a document xor an error");
  if (!r.document) return;
  const TDocument& doc = *r.document;
  Check(Normalize(doc) == doc, "the reader returns the canonical form");
  std::size_t textBytes = 0, runs = 0;
  for (const TParagraph& p : doc.paragraphs) {
    runs += p.runs.size();
    for (const TRun& run : p.runs) textBytes += run.text.size();
  }
  // Every input byte yields at most one paragraph or run and at most 3 bytes of UTF-8 (a byte
  // of code page 1252 such as 0x80, "€"; an invalid byte, U+FFFD).
  Check(doc.paragraphs.size() <= inputSize + 1, "paragraphs linear in the input");
  Check(runs <= 2 * inputSize + 1, "runs linear in the input");
  Check(textBytes <= 3 * inputSize + 16, "text linear in the input");
  const TReadResult back = ReadRtf(WriteRtf(doc));
  Check(back.document && *back.document == doc, "written and read back, the same document");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  CheckDocument(qv::richtext::ReadDocument(bytes, qv::richtext::ReportFormat()), size);
  return 0;
}
