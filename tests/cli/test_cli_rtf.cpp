// `-o FILE.rtf`: the report as Rich Text, exactly as the report window saves a fresh report.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/cli.h"
#include "richtext/rtf.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

std::string Slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

int RunWith(std::vector<std::string> args, std::string& err) {
  args.insert(args.begin(), "quorvandelia-cli");
  std::vector<const char*> argv;
  for (const auto& a : args) argv.push_back(a.c_str());
  std::ostringstream out, errStream;
  const int status = RunCli(static_cast<int>(argv.size()), argv.data(), out, errStream);
  err = errStream.str();
  return status;
}

TEST(CliRichText, RtfExtensionWritesTheReportAsRichText) {
  const fs::path dir = fs::temp_directory_path() / "qv_cli_rtf";
  fs::create_directories(dir);
  const std::string table = (dir / "t.csv").string();
  std::ofstream(table, std::ios::binary) << "gen,env,yield\n1,1,10\n1,2,12\n2,1,14\n2,2,20\n";
  const std::string golden = Slurp(fs::path(QV_GOLDEN_DIR) / "wricke_2x2_r1.txt");

  for (const char* name : {"report.rtf", "REPORT.RTF", "report.Rtf"}) {
    const fs::path file = dir / name;
    std::string err;
    ASSERT_EQ(RunWith({"analyze", "-m", "wricke", table, "-g", "2", "-a", "2", "-r", "1", "-o",
                       file.string()},
                      err),
              0)
        << err;
    const std::string rtf = Slurp(file);
    EXPECT_EQ(rtf, richtext::WriteRtf(richtext::ReportDocument(golden))) << name;
    const richtext::TReadResult back = richtext::ReadRtf(rtf);
    ASSERT_TRUE(back.document) << back.error;
    EXPECT_EQ(*back.document, richtext::ReportDocument(golden));
    for (const auto& p : back.document->paragraphs) {
      EXPECT_EQ(p.runs.front().format, richtext::ReportFormat());  // Courier New, 10 pt
    }
  }
  // Any other name keeps the plain report text.
  std::string err;
  ASSERT_EQ(RunWith({"analyze", "-m", "wricke", table, "-g", "2", "-a", "2", "-r", "1", "-o",
                     (dir / "report.rtf.txt").string()},
                    err),
            0);
  EXPECT_EQ(Slurp(dir / "report.rtf.txt"), golden);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace qv
