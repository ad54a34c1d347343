#include "plot/ImpulseCriteriaTable.h"
#include "tests/plot/StepPlot.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

namespace orvek {
namespace {

// Undefined values, long notes and a verdict without a level: the text keeps four cells a line,
// and the table stays in the upper half at every size, even where it cannot fit and is cut.
TEST(ImpulseCriteriaTableTest, KeepsItsCellsAndItsBand) {
  ImpulseCriteria c;
  c.LpkDb = 159.996;
  c.Allowed = 0.0123456;
  c.Verdicts = {{"EU 2003/10/EC exposure limit value", "LCpeak", 140.0, {}},
                {"NIOSH 1998 unprotected peak", "Lpk", 140.0, true}};
  for (int i = 0; i < 6; ++i)
    c.Notes.push_back(
        "Ta: the interval has no positive phase within 20 dB of its peak, so no "
        "A-duration; the corrected A-duration, LIAeq8hr, dose and allowed number "
        "depend on it.");
  const std::vector<CriteriaTableRow> rows = ImpulseCriteriaRows(c);

  const QStringList lines = ImpulseCriteriaText(rows).split('\n');
  ASSERT_EQ(lines.size(), static_cast<qsizetype>(rows.size()) + 2);  // heading, rows, final ""
  EXPECT_EQ(lines.back(), "");
  for (const QString& line : lines.mid(0, lines.size() - 1))
    EXPECT_EQ(line.count('\t'), 3) << line.toStdString();
  EXPECT_TRUE(lines.contains("A-duration Ta\tn/a\tms\tpositive phase (MIL-STD-1474D)"));
  EXPECT_TRUE(
      lines.contains("EU 2003/10/EC exposure limit value\tn/a\t\tLCpeak true peak against 140 dB"));

  for (const QSize client : {QSize(1200, 800), QSize(640, 300), QSize(320, 100)}) {
    QImage canvas(client, QImage::Format_RGB32);
    canvas.fill(Qt::green);
    {
      QPainter painter(&canvas);
      ImpulseCriteriaTable(painter, client, rows, "IMPULSE CRITERIA OF SHOT: WHOLE RECORD");
    }
    // The upper half is the table's, text included; the lower half is left as it was.
    SCOPED_TRACE(testing::Message() << client.width() << " x " << client.height());
    const int w = client.width(), band = client.height() / 2, below = client.height() - band;
    EXPECT_EQ(Count(canvas, qRgb(0, 255, 0), QRect(0, 0, w, band)), 0);
    EXPECT_EQ(Count(canvas, qRgb(0, 255, 0), QRect(0, band, w, below)), w * below);
    EXPECT_GT(Count(canvas, kBlack, QRect(0, 0, w, band)), 0);
  }
}

}  // namespace
}  // namespace orvek
