#include "richtext/encoding.h"

#include <cerrno>
#include <string>

namespace qv::richtext::detail {

namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// 0x80-0x9F of code page 1252; 0 marks the five unassigned bytes.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::string IconvName(int codePage) {
  switch (codePage) {
    case 1361:
      return "JOHAB";
    case 10000:
      return "MACINTOSH";
    case 10007:
      return "MAC-CYRILLIC";
    case 20866:
      return "KOI8-R";
    case 21866:
      return "KOI8-U";
    case 28591:
      return "ISO-8859-1";
    case 28592:
      return "ISO-8859-2";
    case 28595:
      return "ISO-8859-5";
    case 28605:
      return "ISO-8859-15";
    case 65001:
      return "UTF-8";
    default:
      return "CP" + std::to_string(codePage);
  }
}

}  // namespace

void AppendUtf8(char32_t code, std::string& out) {
  if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = kReplacement;
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

char32_t NextUtf8(std::string_view text, std::size_t& pos) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char c = byte(pos);
  if (c < 0x80) {
    ++pos;
    return c;
  }
  int extra = 0;
  char32_t code = 0;
  char32_t min = 0;
  if (c >= 0xC2 && c <= 0xDF) {
    extra = 1, code = c & 0x1F, min = 0x80;
  } else if (c >= 0xE0 && c <= 0xEF) {
    extra = 2, code = c & 0x0F, min = 0x800;
  } else if (c >= 0xF0 && c <= 0xF4) {
    extra = 3, code = c & 0x07, min = 0x10000;
  } else {
    ++pos;
    return kReplacement;
  }
  if (pos + extra >= text.size()) {
    ++pos;
    return kReplacement;
  }
  for (int k = 1; k <= extra; ++k) {
    const unsigned char t = byte(pos + k);
    if ((t & 0xC0) != 0x80) {
      ++pos;
      return kReplacement;
    }
    code = (code << 6) | (t & 0x3F);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
    ++pos;
    return kReplacement;
  }
  pos += extra + 1;
  return code;
}

bool IsValidUtf8(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[pos]);
    if (c < 0x80) {
      ++pos;
      continue;
    }
    const std::size_t start = pos;
    if (NextUtf8(text, pos) == kReplacement && pos == start + 1) return false;
  }
  return true;
}

char32_t Cp1252ToUnicode(unsigned char byte) {
  if (byte < 0x80 || byte >= 0xA0) return byte;
  const char16_t mapped = kCp1252High[byte - 0x80];
  return mapped ? mapped : byte;
}

int UnicodeToCp1252(char32_t code) {
  if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) return static_cast<int>(code);
  for (int k = 0; k < 32; ++k) {
    if (kCp1252High[k] == code) return 0x80 + k;
  }
  return -1;
}

int CodePageOfCharset(int charset) {
  switch (charset) {
    case 77:
      return 10000;
    case 128:
      return 932;
    case 129:
      return 949;
    case 130:
      return 1361;
    case 134:
      return 936;
    case 136:
      return 950;
    case 161:
      return 1253;
    case 162:
      return 1254;
    case 163:
      return 1258;
    case 177:
      return 1255;
    case 178:
      return 1256;
    case 186:
      return 1257;
    case 204:
      return 1251;
    case 222:
      return 874;
    case 238:
      return 1250;
    case 254:
      return 437;
    case 255:
      return 850;
    default:
      return 0;
  }
}

TCodePageDecoder::~TCodePageDecoder() {
  for (auto& [page, cd] : converters_) {
    if (cd != kNoConverter) iconv_close(cd);
  }
}

iconv_t TCodePageDecoder::Converter(int codePage) {
  auto it = converters_.find(codePage);
  if (it == converters_.end()) {
    it = converters_.emplace(codePage, iconv_open("UTF-8", IconvName(codePage).c_str())).first;
  }
  return it->second;
}

void TCodePageDecoder::Decode(int codePage, std::string_view bytes, std::string& out) {
  iconv_t cd = codePage == 1252 ? kNoConverter : Converter(codePage);
  if (cd == kNoConverter) {
    for (const char b : bytes) AppendUtf8(Cp1252ToUnicode(static_cast<unsigned char>(b)), out);
    return;
  }
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  char buffer[256];
  while (inLeft > 0) {
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    const std::size_t done = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
    if (done != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // A byte the page leaves undefined, or a double-byte character cut short.
    AppendUtf8(kReplacement, out);
    ++in;
    --inLeft;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
}

}  // namespace qv::richtext::detail
