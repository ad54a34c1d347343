// The analysis report carries, as text a PDF reader extracts (pdftotext), the numbers the hazard,
// metrics and criteria commands print for the same file.
#include <gmock/gmock.h>

#include <QGuiApplication>
#include <cstdio>
#include <memory>

#include "cli/CriteriaCommand.h"
#include "cli/FileAnalysis.h"
#include "report/AnalysisReport.h"
#include "tests/core/TempFolder.h"

namespace orvek::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::ordered_json;

// What a command prints on stdout; empty when it cannot run.
std::string Output(const std::string& command) {
  std::string text;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
    pclose(pipe);
  }
  return text;
}

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

class ReportTextTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "test";
    static char* argv[] = {name, nullptr};
    static QGuiApplication application(argc, argv);
  }
};

TEST_F(ReportTextTest, PagesCarryTheCommandsNumbers) {
  struct Case {
    fs::path Source;
    std::string Protector;
    int Pages;
  };
  const fs::path samples = fs::path(ORVEK_DATA_DIR) / "samples";
  for (const Case& c :
       {Case{samples / "BLAST170.ORV", "", 3}, Case{samples / "RIFLE160.ORV", "foam earplug", 4}}) {
    SCOPED_TRACE(c.Source.filename().string() + " " + c.Protector);
    const TempFolder folder;
    const fs::path file = folder.Path() / c.Source.filename();
    fs::copy(c.Source, file);
    // A protector's fit is stored in its catalogue: a copy.
    const fs::path startup =
        c.Protector.empty() ? fs::path(ORVEK_DATA_DIR) : folder.Path() / "data";
    if (!c.Protector.empty())
      fs::copy(fs::path(ORVEK_TEST_DATA) / "protect", startup, fs::copy_options::recursive);

    const ReportContent content = AnalyseForReport(file, startup, c.Protector);
    const fs::path pdf = folder.Path() / "report.pdf";
    WriteReportFile(pdf, ReportPdf(content), content.Reads);
    const std::string quoted = "'" + pdf.string() + "'";
    const std::string info = Output("pdfinfo " + quoted + " 2>&1");
    const std::size_t pages = info.find("Pages:");
    ASSERT_NE(pages, std::string::npos) << "pdfinfo (poppler-utils): " << info;
    EXPECT_EQ(std::stoi(info.substr(pages + 6)), c.Pages) << info;
    const std::string text = Output("pdftotext -layout " + quoted + " -");

    std::vector<std::string> expected;
    const auto opened = cli::Open(file);
    const TModelParameters p = cli::LoadParameters(startup);
    for (const Listener listener : {Listener::Warned, Listener::Unwarned}) {
      std::string noFile;
      const ordered_json hazard =
          cli::HazardJson(file, *opened, listener, p, std::nullopt, 0, noFile);
      expected.push_back(hazard.at("aru_text"));
      expected.push_back(hazard.at("allowed_text"));
    }
    const ordered_json metrics = cli::MetricsJson(file, *opened, std::nullopt, std::nullopt);
    expected.push_back(Fixed(metrics.at("peak_level_db"), 2));
    expected.push_back(Fixed(metrics.at("laeq8hr"), 2));
    const ordered_json criteria = cli::CriteriaJson(file, *opened, std::nullopt, std::nullopt);
    expected.push_back(Fixed(criteria.at("lcpeak_true_db"), 2));
    expected.push_back(Fixed(criteria.at("a_duration_ms"), 3));
    for (const ordered_json& verdict : criteria.at("verdicts"))
      expected.push_back(verdict.at("exceeded").get<bool>() ? "exceeded" : "not exceeded");
    if (content.Protected) {
      expected.push_back("FOAM EARPLUG");
      expected.push_back(AruText(content.Protected->Warned.Aru));
    }
    for (const std::string& needle : expected)
      EXPECT_THAT(text, ::testing::HasSubstr(needle)) << "the report lacks " << needle;
  }
}

}  // namespace
}  // namespace orvek::test
