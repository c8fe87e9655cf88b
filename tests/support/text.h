// Reading a report's text in the tests: its lines, and the numbers of a line.
#pragma once

#include <string>
#include <vector>

namespace qv::testing {

// The lines of a report, without their "\r\n".
std::vector<std::string> Lines(const std::string& text);
// The lines that start with `prefix`.
std::vector<std::string> LinesStartingWith(const std::string& text, const std::string& prefix);
// The first line that starts with `prefix` after the first line containing `after` ("" and a
// test failure when there is none).
std::string LineAfter(const std::vector<std::string>& lines, const std::string& after,
                      const std::string& prefix);
// The words of a line that are whole numbers or reals ("12", "-0.5", "1.25E-0003"), in order.
std::vector<double> Numbers(const std::string& line);
// Whether a text shows a non-finite number, as the layouts ("Nan", "+Inf", "-Inf") or the C
// library ("nan", "inf") would write it.
bool HasNonFinite(const std::string& text);

}  // namespace qv::testing
