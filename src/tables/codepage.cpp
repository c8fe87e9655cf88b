#include "tables/codepage.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <utility>

namespace qv::detail {

namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

bool IsAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

void AppendLatin1(unsigned char byte, std::string& out) {
  if (byte < 0x80) {
    out.push_back(static_cast<char>(byte));
  } else {
    out.push_back(static_cast<char>(0xC0 | (byte >> 6)));
    out.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
  }
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    const unsigned char c = *p;
    int extra = 0;
    unsigned int code = 0;
    if (c < 0x80) {
      // ASCII, as nearly all of a table is: eight bytes at a time while none has its high bit.
      ++p;
      while (end - p >= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, sizeof word);
        if (word & 0x8080808080808080u) break;
        p += 8;
      }
      continue;
    } else if (c >= 0xC2 && c <= 0xDF) {
      extra = 1;
      code = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2;
      code = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3;
      code = c & 0x07;
    } else {
      return false;
    }
    if (end - p <= extra) return false;
    for (int k = 1; k <= extra; ++k) {
      if ((p[k] & 0xC0) != 0x80) return false;
      code = (code << 6) | (p[k] & 0x3F);
    }
    // Overlong forms, surrogates and code points beyond U+10FFFF.
    if ((extra == 2 && code < 0x800) || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF ||
        (extra == 3 && code < 0x10000)) {
      return false;
    }
    p += extra + 1;
  }
  return true;
}

std::size_t Utf8Length(std::string_view text) {
  std::size_t n = 0;
  for (const char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  }
  return n;
}

TextCodec::TextCodec(std::string codePage) : name_(std::move(codePage)) {
  if (name_ == "UTF-8") {
    utf8_ = true;
    return;
  }
  toUtf8_ = iconv_open("UTF-8", name_.c_str());
  fromUtf8_ = iconv_open(name_.c_str(), "UTF-8");
  if (toUtf8_ == kNoConverter || fromUtf8_ == kNoConverter) {
    if (toUtf8_ != kNoConverter) iconv_close(toUtf8_);
    if (fromUtf8_ != kNoConverter) iconv_close(fromUtf8_);
    name_ = "CP1252";
    toUtf8_ = iconv_open("UTF-8", "CP1252");
    fromUtf8_ = iconv_open("CP1252", "UTF-8");
  }
}

TextCodec::~TextCodec() {
  if (toUtf8_ != kNoConverter) iconv_close(toUtf8_);
  if (fromUtf8_ != kNoConverter) iconv_close(fromUtf8_);
}

std::string TextCodec::Decode(std::string_view bytes) const {
  if (IsAscii(bytes)) return std::string(bytes);
  if (IsValidUtf8(bytes)) return std::string(bytes);
  if (utf8_ || toUtf8_ == kNoConverter) {
    // A file that claims UTF-8 but is not: keep every byte readable rather than fail.
    std::string out;
    for (const char c : bytes) AppendLatin1(static_cast<unsigned char>(c), out);
    return out;
  }
  std::string out;
  out.reserve(bytes.size() * 2);
  iconv(toUtf8_, nullptr, nullptr, nullptr, nullptr);
  char* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  char buffer[256];
  while (inLeft > 0) {
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    const std::size_t r = iconv(toUtf8_, &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
    if (r == static_cast<std::size_t>(-1)) {
      if (errno == E2BIG) continue;
      // A byte the code page leaves undefined (0x81 in CP1252, for instance).
      AppendLatin1(static_cast<unsigned char>(*in), out);
      ++in;
      --inLeft;
      iconv(toUtf8_, nullptr, nullptr, nullptr, nullptr);
    }
  }
  return out;
}

bool TextCodec::ReadsBack(std::string_view bytes, std::string_view utf8) const {
  // ASCII, and bytes that are not UTF-8, go through Decode as Encode made them.
  if (utf8_ || IsAscii(bytes) || !IsValidUtf8(bytes)) return true;
  return Decode(bytes) == utf8;
}

bool TextCodec::Encode(std::string_view utf8, std::string& out) const {
  out.clear();
  if (IsAscii(utf8) || utf8_) {
    out.assign(utf8);
    return utf8_ ? IsValidUtf8(utf8) : true;
  }
  if (fromUtf8_ == kNoConverter) return false;
  iconv(fromUtf8_, nullptr, nullptr, nullptr, nullptr);
  char* in = const_cast<char*>(utf8.data());
  std::size_t inLeft = utf8.size();
  char buffer[256];
  while (inLeft > 0) {
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    const std::size_t r = iconv(fromUtf8_, &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
    if (r == static_cast<std::size_t>(-1) && errno != E2BIG) return false;
  }
  return true;
}

}  // namespace qv::detail
