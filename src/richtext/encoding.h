// Character encodings the Rich Text reader and writer meet: UTF-8 inside the program, code
// page 1252 (the "ANSI" code page of Western Windows, which RTF's \ansi names) written and read
// without a library, and every other single- or double-byte code page of RTF's \ansicpgN,
// \cpgN and \fcharsetN read through iconv(3).
#pragma once

#include <iconv.h>

#include <map>
#include <string>
#include <string_view>

namespace qv::richtext::detail {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(char32_t code, std::string& out);

// The code point starting at text[pos], advancing pos; an invalid or truncated sequence yields
// U+FFFD and advances by one byte.
char32_t NextUtf8(std::string_view text, std::size_t& pos);

bool IsValidUtf8(std::string_view text);

// Code page 1252. Its five unassigned bytes (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the C1
// control of the same number, as Windows reads them, so that no byte is lost.
char32_t Cp1252ToUnicode(unsigned char byte);
int UnicodeToCp1252(char32_t code);  // the byte, or -1 when the character is not in the page

// The code page of an RTF font character set (\fcharsetN), 0 when the charset says "the
// document's code page" (ANSI and default) or is unknown.
int CodePageOfCharset(int charset);

// Bytes in a Windows code page to UTF-8, one code page converter kept open per page used.
// Unknown code pages are read as 1252; bytes a page does not define become U+FFFD.
class TCodePageDecoder {
 public:
  TCodePageDecoder() = default;
  ~TCodePageDecoder();
  TCodePageDecoder(const TCodePageDecoder&) = delete;
  TCodePageDecoder& operator=(const TCodePageDecoder&) = delete;

  void Decode(int codePage, std::string_view bytes, std::string& out);

 private:
  iconv_t Converter(int codePage);
  std::map<int, iconv_t> converters_;
};

}  // namespace qv::richtext::detail
