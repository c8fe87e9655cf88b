#include "tables/tableerror.h"

namespace qv::detail {

void ThrowTableError(const std::string& path, const std::string& cause) {
  throw TableError("Tabela \"" + path + "\": " + cause);
}

void ThrowRefusedValue(const std::string& path, std::size_t row, const std::string& field,
                       const std::string& cause) {
  ThrowTableError(path, "registro " + std::to_string(row + 1) + ", campo \"" + field +
                            "\": " + cause + " O arquivo não foi alterado.");
}

}  // namespace qv::detail
