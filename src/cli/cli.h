// quorvandelia-cli: every analysis of the program without a window, for scripts and servers.
// The same run and the same report, byte for byte, as the windows produce from the same
// answers: the run's questions are answered from the command-line options.
#pragma once

#include <ostream>

namespace qv {

// Exit status: 0 success; 1 a variable could not be analysed (data error or refusal);
// 2 bad usage or parameters (a parameter outside the method's domain included); 3 the report
// or the results could not be written (a full disk, a closed output).
int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace qv
