// Text of table files in their code pages, as the UTF-8 the rest of the program uses.
//
// Paradox and dBase files of this field come from Windows and DOS programs and carry
// single-byte text, almost always Windows code page 1252 or DOS 850/437/860. A TextCodec
// recodes one table's text with iconv(3); see paradoxfile.cpp and dbasefile.cpp for which
// code page each format writes and how the code page of a file is found.
#pragma once

#include <iconv.h>

#include <string>
#include <string_view>

namespace qv::detail {

bool IsValidUtf8(std::string_view text);
std::size_t Utf8Length(std::string_view text);  // characters, for a valid UTF-8 text

class TextCodec {
 public:
  // codePage is an iconv name ("CP1252", "CP850", "UTF-8"); a name iconv does not know falls
  // back to CP1252, the code page of nearly every table written under Windows.
  explicit TextCodec(std::string codePage);
  ~TextCodec();
  TextCodec(const TextCodec&) = delete;
  TextCodec& operator=(const TextCodec&) = delete;

  const std::string& Name() const { return name_; }

  // File bytes to UTF-8. Never fails: a byte the code page leaves undefined is taken as
  // Latin-1. Bytes that already form valid UTF-8 with non-ASCII characters are kept as they
  // are: some tools (the shapelib command-line tools among them) store the UTF-8 they were
  // given while the file claims a single-byte code page, and real single-byte Portuguese text
  // practically never happens to be valid UTF-8 (an accented letter would have to be followed
  // by a symbol such as "©" or "§").
  std::string Decode(std::string_view bytes) const;

  // UTF-8 to file bytes. False when a character has no place in the code page.
  bool Encode(std::string_view utf8, std::string& out) const;

  // Whether file bytes that Encode made of utf8 read back as that text. Not when, in a
  // single-byte code page, they happen to form valid UTF-8 ("Ê" and a no-break space in 1252
  // are the UTF-8 of "ʠ"): Decode takes them as UTF-8.
  bool ReadsBack(std::string_view bytes, std::string_view utf8) const;

 private:
  std::string name_;
  bool utf8_ = false;
  iconv_t toUtf8_ = reinterpret_cast<iconv_t>(-1);
  iconv_t fromUtf8_ = reinterpret_cast<iconv_t>(-1);
};

}  // namespace qv::detail
