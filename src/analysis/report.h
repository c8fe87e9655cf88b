// TReport: the report text that every analysis writes, one fixed-width line at a time.
//
// Lines end in "\r\n". The text is held in a buffer of its own: appending costs time in
// proportion to the piece, never to the whole report, so a run is linear in the report's
// length. It is a plain buffer: showing it is the host's business (THost::ShowReport).
#pragma once

#include <string>
#include <string_view>
#include <utility>

namespace qv {

class TReport {
 public:
  void Clear() { text_.clear(); }
  // Room for `more` bytes beyond the text, for a writer that knows the size of what it appends
  // (a report of 17 MB would otherwise be copied into a new buffer a dozen times as it grows).
  void Reserve(std::size_t more) { text_.reserve(text_.size() + more); }
  void Append(std::string_view piece) { text_.append(piece); }
  // Appends a line and its "\r\n".
  void AppendLine(std::string_view line) {
    text_.append(line);
    text_.append("\r\n");
  }
  void AppendSeparator(int width = 78) {
    text_.append(static_cast<std::size_t>(width), '_');
    text_.append("\r\n");
  }
  void AppendBlankLines(int count) {
    for (int k = 0; k < count; ++k) text_.append("\r\n");
  }

  const std::string& Text() const { return text_; }
  // The user edits the report in its window between runs.
  void SetText(std::string text) { text_ = std::move(text); }

 private:
  std::string text_;
};

}  // namespace qv
