// Files of the tests: the golden reports under tests/golden, read byte for byte.
#pragma once

#include <filesystem>
#include <string>

namespace qv::testing {

// The whole file, as bytes; "" when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);
// The golden report of that name.
std::string Golden(const std::string& name);

}  // namespace qv::testing
