// "Export plot..." and "Save report": the files they write, what they draw, and a file that fails.
#include <gmock/gmock.h>

#include <QImage>
#include <cmath>

#include "tests/gui/WindowFixture.h"

namespace orvek {
namespace {

class ExportReportTest : public WindowTest {
 protected:
  TForm1& OpenRifle() {
    TForm1& w = Start();
    fs::copy(fs::path(ORVEK_DATA_DIR) / "samples" / "RIFLE160.ORV", In("RIFLE160.ORV"));
    Open(In("RIFLE160.ORV"));
    return w;
  }
  QString Out(const std::string& name) const {
    return QString::fromStdString((folder_ / name).string());
  }
};

TEST_F(ExportReportTest, ExportsInEachFormatAndThePngIsTheWindowsDrawing) {
  TForm1& w = OpenRifle();
  const QSize client = w.ClientSize();
  // The lower band: top and height round(0.5 client height).
  const int top = static_cast<int>(std::nearbyint(0.5 * client.height()));
  const QString shown = QString("%1x%2").arg(client.width()).arg(top);

  struct Case {
    std::string File;
    QString Size;
    const char* Start;  // the format's first bytes
  };
  for (const Case& c : {Case{"plot.png", shown, "\x89PNG"}, Case{"plot.svg", "600x200", "<?xml"},
                        Case{"plot.pdf", "600x200", "%PDF"}}) {
    SCOPED_TRACE(c.File);
    prompts_.Texts = {c.Size};
    prompts_.Files = {Out(c.File)};
    Trigger("Export plot...");
    ExpectNoErrors();
    EXPECT_TRUE(Bytes(folder_ / c.File).starts_with(c.Start));
  }
  // The proposed size is the band on show, and the PNG at that size is the window's pixels.
  EXPECT_TRUE(prompts_.InputPrompts.first().endsWith("|" + shown));
  const QImage png(Out("plot.png"));
  ASSERT_EQ(png.size(), QSize(client.width(), top));
  const QImage band = w.canvas()->Image().copy(0, top, client.width(), top);
  EXPECT_EQ(png.convertToFormat(QImage::Format_RGB32), band.convertToFormat(QImage::Format_RGB32));

  const std::string svg = Bytes(folder_ / "plot.svg");
  for (const char* caption : {"FRIEDLANDER 160.0 DB 0.30 MS", "</svg>"})
    EXPECT_THAT(svg, ::testing::HasSubstr(caption)) << caption;
}

TEST_F(ExportReportTest, SaveReportWritesThePdfOrRefusesAFileThatNoLongerReads) {
  TForm1& w = OpenRifle();
  prompts_.Files = {Out("rifle.pdf")};
  Trigger("Save report");
  ExpectNoErrors();
  EXPECT_TRUE(Bytes(folder_ / "rifle.pdf").starts_with("%PDF"));

  // The report reads the file as saved: one spoilt since it was opened is refused by name.
  std::ofstream(In("RIFLE160.ORV"), std::ios::binary) << "garbage\n";
  prompts_.Files = {Out("spoilt.pdf")};
  Trigger("Save report");
  ASSERT_EQ(prompts_.Errors.size(), 1);
  EXPECT_TRUE(prompts_.Errors[0].contains("RIFLE160.ORV"));
  EXPECT_FALSE(fs::exists(folder_ / "spoilt.pdf"));
  EXPECT_FALSE(w.progressBar()->isVisible());
}

}  // namespace
}  // namespace orvek
