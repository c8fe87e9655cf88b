// quorvandelia-cli import TEXT TABLE and export TABLE TEXT: the table manager's text import and
// export for scripts. They run the window's commands (tables/textimport.h) with the answers
// taken from the arguments: the same cleaning of the text, the same table, the same text.
//
// The box the window shows first ("O Arquivo deve ser ASCII...") is taken as answered OK. A
// file that would be replaced (the import's table, the export's text) is only replaced with
// --force; without it the command stops with the window's question on stderr, as the command
// line answers No to questions it cannot ask. The export writes reals with "." as decimal
// point.
//
// Exit status: 0 success; 1 an error reading or writing a file, or a value of the text the
// import cannot read (the table then keeps the records before it); 2 bad usage, or a file that
// exists without --force.
#pragma once

#include <ostream>
#include <string>

namespace CLI {
class App;
}

namespace qv {

class TTransferCommands {
 public:
  // Adds the "import" and "export" commands to app.
  explicit TTransferCommands(CLI::App& app);

  bool Chosen() const;
  int Run(std::ostream& out, std::ostream& err) const;

 private:
  CLI::App* import_;
  CLI::App* export_;
  std::string text_, table_;
  bool force_ = false;
};

}  // namespace qv
