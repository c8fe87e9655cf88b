#include "support/golden.h"

#include <fstream>
#include <sstream>

namespace qv::testing {

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

std::string Golden(const std::string& name) {
  return ReadFile(std::filesystem::path(QV_GOLDEN_DIR) / name);
}

}  // namespace qv::testing
