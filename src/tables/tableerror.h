// The one exception of the file layer, and how the layer throws it.
//
// A TableError carries a message meant for the user, in Portuguese like the rest of the
// program: the file's name and the cause. Only the table layer throws it; the places where the
// program meets that layer (the analysis run, the table manager) catch it and show the message
// as it is.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

namespace qv {

class TableError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

namespace detail {

// "The message for the user": the file's name in quotes and the cause.
[[noreturn]] void ThrowTableError(const std::string& path, const std::string& cause);
// A value the format cannot store: names the record (1-based) and the field, and says that the
// file was left as it was.
[[noreturn]] void ThrowRefusedValue(const std::string& path, std::size_t row,
                                    const std::string& field, const std::string& cause);

}  // namespace detail
}  // namespace qv
