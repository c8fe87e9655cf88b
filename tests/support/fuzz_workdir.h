// The directory where a fuzzer writes the file of each input: one per process, in memory when
// the system has one (/dev/shm), since every input is written and read back.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>

namespace qv::testing {

inline const std::filesystem::path& FuzzWorkDir(const char* name) {
  static const std::filesystem::path dir = [name] {
    std::error_code ec;
    const std::filesystem::path base = std::filesystem::exists("/dev/shm", ec)
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    const std::filesystem::path d =
        base / ("qv-" + std::string(name) + "-" + std::to_string(::getpid()));
    std::filesystem::create_directories(d);
    return d;
  }();
  return dir;
}

}  // namespace qv::testing
