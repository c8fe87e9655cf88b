#include "tables/tablebackend.h"

#include <algorithm>

namespace qv::detail {

std::uint64_t RecordPlaces::OffsetOf(std::size_t row) const {
  // The last run that starts at or before row.
  const auto after =
      std::upper_bound(runs.begin(), runs.end(), row,
                       [](std::size_t r, const Run& run) { return r < run.firstRow; });
  const Run& run = *(after - 1);
  return run.offset + static_cast<std::uint64_t>(row - run.firstRow) * recordSize;
}

std::string LowerAscii(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

void CheckFieldName(const std::string& path, const char* format, const TextCodec& codec,
                    const std::string& name, std::size_t maxBytes, std::vector<std::string>& seen) {
  std::string encoded;
  if (name.empty() || !codec.Encode(name, encoded) || encoded.find('\0') != std::string::npos) {
    ThrowTableError(path, "o nome de campo \"" + name + "\" não pode ser gravado numa tabela " +
                              format +
                              " (vazio ou com caracteres fora do código de página "
                              "1252).");
  }
  if (!codec.ReadsBack(encoded, name)) {
    ThrowTableError(path, "o nome de campo \"" + name + "\" não pode ser gravado numa tabela " +
                              format + ": no código de página da tabela ele seria lido como \"" +
                              codec.Decode(encoded) + "\".");
  }
  if (encoded.size() > maxBytes) {
    ThrowTableError(path, "o nome de campo \"" + name + "\" é longo demais para uma tabela " +
                              format + " (no máximo " + std::to_string(maxBytes) + " caracteres).");
  }
  // The code pages keep ASCII as it is and give every other character bytes of its own, so
  // the UTF-8 names compare as the stored ones would.
  std::string key = LowerAscii(name);
  for (const std::string& s : seen) {
    if (s == key) ThrowTableError(path, "há dois campos chamados \"" + name + "\".");
  }
  seen.push_back(std::move(key));
}

void EncodeFieldText(const std::string& path, const char* format, const TextCodec& codec,
                     std::size_t row, const std::string& field, const std::string& text, int width,
                     std::string& encoded) {
  if (!codec.Encode(text, encoded)) {
    ThrowRefusedValue(path, row, field,
                      "o texto \"" + text +
                          "\" tem caracteres que não existem no código de página 1252 das "
                          "tabelas " +
                          format + ".");
  }
  if (!codec.ReadsBack(encoded, text)) {
    ThrowRefusedValue(path, row, field,
                      "o texto \"" + text + "\" seria lido como \"" + codec.Decode(encoded) +
                          "\" no código de página da tabela " + format + ".");
  }
  if (encoded.size() > static_cast<std::size_t>(width)) {
    ThrowRefusedValue(path, row, field,
                      "o texto \"" + text + "\" tem " + std::to_string(encoded.size()) +
                          " caracteres e o campo aceita no máximo " + std::to_string(width) + ".");
  }
}

double NumberToWrite(const std::string& path, std::size_t row, const std::string& field,
                     const Column& column) {
  if (const std::string* bad = column.BadText(row)) {
    ThrowRefusedValue(path, row, field, "\"" + *bad + "\" não é um número, e o campo é numérico.");
  }
  return column.Number(row);
}

}  // namespace qv::detail
