// The bash completion of quorvandelia-cli, run in bash against the built program: it offers
// every subcommand and every method of the analysis catalogue, and the options of the
// subcommand being typed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "commands/commands.h"

namespace qv::testing {
namespace {

// The words bash would offer for the command line `words` (the last one being completed).
std::set<std::string> Complete(const std::vector<std::string>& words) {
  std::string script = "source '" QV_COMPLETION_SCRIPT "'\nCOMP_WORDS=('" QV_CLI_PROGRAM "'";
  for (const std::string& w : words) script += " '" + w + "'";
  script += ")\nCOMP_CWORD=" + std::to_string(words.size()) +
            "\n_quorvandelia_cli\nprintf '%s\\n' \"${COMPREPLY[@]}\"\n";
  const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                     ("qv_completion_" + std::to_string(getpid()) + ".sh");
  std::ofstream(file) << script;
  std::set<std::string> result;
  FILE* pipe = popen(("bash '" + file.string() + "'").c_str(), "r");
  if (pipe) {
    char buffer[512];
    std::string word;
    while (fgets(buffer, sizeof buffer, pipe)) {
      word = buffer;
      if (!word.empty() && word.back() == '\n') word.pop_back();
      if (!word.empty()) result.insert(word);
    }
    pclose(pipe);
  }
  std::filesystem::remove(file);
  return result;
}

TEST(Completion, EveryMethodOfTheCatalogue) {
  std::set<std::string> methods;
  for (const TAnalysisCommand& c : AnalysisCommands()) methods.insert(c.name);
  ASSERT_FALSE(methods.empty());
  EXPECT_EQ(Complete({"analyze", "--method", ""}), methods);
  EXPECT_EQ(Complete({"analyze", "-g", "8", "-m", ""}), methods);
  EXPECT_EQ(Complete({"analyze", "-m", "silva"}),
            (std::set<std::string>{"silva", "silva-mod", "silva-toler"}));
}

TEST(Completion, SubcommandsAndTheirOptions) {
  EXPECT_EQ(Complete({""}), (std::set<std::string>{"analyze", "table", "import", "export"}));
  EXPECT_EQ(Complete({"table", ""}),
            (std::set<std::string>{"info", "convert", "add-field", "delete-field", "rename-field",
                                   "delete-records"}));
  const std::set<std::string> analyze = Complete({"analyze", "--"});
  for (const char* option : {"--method", "--genotype-column", "--environment-column", "--gle",
                             "--qme", "--alpha", "--var", "--output", "--results"}) {
    EXPECT_TRUE(analyze.count(option)) << option;
  }
  EXPECT_EQ(Complete({"analyze", "-m", "ammi", "--q"}), (std::set<std::string>{"--qme"}));
  const std::set<std::string> convert = Complete({"table", "convert", "in.csv", "--"});
  EXPECT_TRUE(convert.count("--recode") && convert.count("--block") && convert.count("--means"));
  EXPECT_FALSE(convert.count("--method"));
  EXPECT_EQ(Complete({"import", "--f"}), (std::set<std::string>{"--force"}));
}

}  // namespace
}  // namespace qv::testing
