// --plots DIR: every plot of every analysed variable written as DIR/<variable>-<plot>.<format>,
// labelled from the legend that "table convert --recode" leaves beside the table, and the
// report unchanged, byte for byte.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "cli/cli_test_util.h"
#ifdef QV_HAVE_PLOTS
#include "cli/runplots.h"
#endif

namespace qv::testing {
namespace {

class PlotsCliTest : public ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
#ifndef QV_HAVE_PLOTS
    GTEST_SKIP() << "built without the plots (no Qt)";
#else
    // In-process, the drawing linked into the tests stands for the module the program loads.
    SetRunPlotsLoader([](std::string&) -> TRunPlotsWriter { return &WriteRunPlotFiles; });
#endif
  }
};

const std::string kWheat = std::string(QV_EXAMPLES_DIR) + "/onofri_winterwheat.db";

TEST_F(PlotsCliTest, WritesEveryPlotAndLeavesTheReportAsItWas) {
  const CliResult plain = Cli({"analyze", "-m", "ammi", kWheat, "-g", "8", "-a", "7", "-r", "3",
                               "--gle", "98", "--qme", "0.148804"});
  ASSERT_EQ(plain.status, 0) << plain.err;
  const struct {
    const char* format;
    const char* magic;
  } cases[] = {{"svg", "<?xml"}, {"png", "\x89PNG"}, {"pdf", "%PDF"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format);
    const std::string dir = Path(std::string("plots-") + c.format);
    const CliResult r =
        Cli({"analyze", "-m", "ammi", kWheat, "-g", "8", "-a", "7", "-r", "3", "--gle", "98",
             "--qme", "0.148804", "--plots", dir, "--plot-format", c.format});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, plain.out);
    for (const char* plot : {"ammi1", "ammi2"}) {
      const std::string file = dir + "/yield-" + plot + "." + c.format;
      EXPECT_EQ(ReadFile(file).rfind(c.magic, 0), 0u) << file;
    }
  }
  const CliResult bad = Cli({"analyze", "-m", "ammi", kWheat, "-g", "8", "-a", "7", "-r", "3",
                             "--plots", Path("x"), "--plot-format", "gif"});
  EXPECT_EQ(bad.status, 2);
  // A folder that cannot be made: the report is written, the plots are not, and the exit
  // status says so.
  std::ofstream(Path("taken")) << "a file, not a folder";
  const CliResult blocked = Cli({"analyze", "-m", "ammi", kWheat, "-g", "8", "-a", "7", "-r", "3",
                                 "--gle", "98", "--qme", "0.148804", "--plots", Path("taken")});
  EXPECT_EQ(blocked.status, 3);
  EXPECT_EQ(blocked.out, plain.out);
  EXPECT_NE(blocked.err.find("pasta dos gráficos"), std::string::npos) << blocked.err;
  // A bad list of genotypes to highlight stops before the run.
  const CliResult badList = Cli({"analyze", "-m", "finlay", kWheat, "-g", "8", "-a", "7", "-r", "3",
                                 "--plots", Path("y"), "--highlight", "1,x"});
  EXPECT_EQ(badList.status, 2);
  EXPECT_EQ(badList.out, "");
  EXPECT_NE(badList.err.find("\"x\""), std::string::npos) << badList.err;
}

// The program itself loads the drawing from the module beside it. A copy of the program away
// from the module still writes its report, and says why the plots are missing (exit 3).
TEST_F(PlotsCliTest, TheProgramLoadsThePlotsModuleAndSaysWhenItIsMissing) {
  const std::string args = " analyze -m ammi '" + kWheat +
                           "' -g 8 -a 7 -r 3 --gle 98 --qme 0.148804 -o '" + Path("r.txt") +
                           "' --plots ";
  const std::string loaded = Path("loaded");
  ASSERT_EQ(std::system((std::string("'") + QV_CLI_PROGRAM + "'" + args + "'" + loaded + "' 2>'" +
                         Path("err1") + "'")
                            .c_str()),
            0)
      << ReadFile(Path("err1"));
  EXPECT_EQ(ReadFile(loaded + "/yield-ammi1.svg").rfind("<?xml", 0), 0u);

  const std::string alone = Path("quorvandelia-cli");
  std::filesystem::copy_file(QV_CLI_PROGRAM, alone);
  const int status = std::system(
      ("'" + alone + "'" + args + "'" + Path("missing") + "' 2>'" + Path("err2") + "'").c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << status;
  EXPECT_NE(ReadFile(Path("err2")).find("quorvandelia-plots.so"), std::string::npos)
      << ReadFile(Path("err2"));
  EXPECT_FALSE(ReadFile(Path("r.txt")).empty());
  EXPECT_FALSE(std::filesystem::exists(Path("missing")));
}

// The trial converted with its names made into codes: the plots name the genotypes as the
// trial file did. A legend that cannot be read leaves the codes, with a warning.
TEST_F(PlotsCliTest, LabelsComeFromTheLegendBesideTheTable) {
  const std::string table = Path("wheat.db");
  const CliResult convert =
      Cli({"table", "convert", std::string(QV_EXAMPLES_DIR) + "/onofri_winterwheat_plots.csv",
           table, "--recode", "genotype,environment", "--means", "--block", "rep"});
  ASSERT_EQ(convert.status, 0) << convert.err;
  const std::string dir = Path("plots");
  const CliResult r =
      Cli({"analyze", "-m", "wricke", table, "-g", "8", "-a", "7", "-r", "3", "--plots", dir});
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string svg = ReadFile(dir + "/yield-media-w.svg");
  EXPECT_NE(svg.find(">Colosseo</text>"), std::string::npos);
  EXPECT_NE(svg.find(">Simeto</text>"), std::string::npos);

  std::ofstream(Path("wheat.legend.csv")) << "coluna,codigo\n1,2\n";
  const CliResult broken =
      Cli({"analyze", "-m", "wricke", table, "-g", "8", "-a", "7", "-r", "3", "--plots", dir});
  EXPECT_EQ(broken.status, 0) << broken.err;
  EXPECT_NE(broken.err.find("legenda"), std::string::npos) << broken.err;
  const std::string codes = ReadFile(dir + "/yield-media-w.svg");
  EXPECT_EQ(codes.find(">Colosseo</text>"), std::string::npos);
}

}  // namespace
}  // namespace qv::testing
