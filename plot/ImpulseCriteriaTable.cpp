#include "plot/ImpulseCriteriaTable.h"
#include "base/Rounding.h"

#include <QFontMetrics>
#include <algorithm>
#include <climits>
#include <cmath>
#include <tuple>

#include "plot/AxisRenderer.h"

namespace orvek {
namespace {

constexpr int kSmallestPoints = 5;

QString Fixed(const std::optional<double>& value, int decimals) {
  return value ? QString::number(*value, 'f', decimals) : QString("n/a");
}

// `digits` significant digits, without an exponent.
QString Significant(const std::optional<double>& value, int digits) {
  if (!value) return "n/a";
  const int magnitude =
      *value == 0.0 ? 0 : static_cast<int>(std::floor(std::log10(std::fabs(*value))));
  return QString::number(*value, 'f', std::max(0, digits - 1 - magnitude));
}

QString At(const std::optional<double>& timeMs) {
  return timeMs ? ", at " + QString::number(*timeMs, 'f', 3) + " ms" : QString();
}

// Columns and line height of the table for one font.
struct Layout {
  int left, valueRight, unitLeft, remarkLeft, right;
  int line;  // pixels per line
};

Layout LayOut(QSize client, const QFontMetrics& metrics) {
  const int w = client.width();
  return {Rounded(0.02 * w), Rounded(0.40 * w),     Rounded(0.42 * w),
          Rounded(0.50 * w), w - Rounded(0.02 * w), metrics.height() + metrics.height() / 4};
}

bool IsNote(const CriteriaTableRow& row) { return row.Value.isEmpty() && row.Unit.isEmpty(); }

// Height of a note wrapped over the table's width.
int NoteHeight(const QFontMetrics& metrics, const Layout& at, const QString& text) {
  return metrics.boundingRect(QRect(0, 0, at.right - at.left, INT_MAX), Qt::TextWordWrap, text)
      .height();
}

int TableHeight(const QFontMetrics& metrics, const Layout& at,
                const std::vector<CriteriaTableRow>& rows) {
  int height = 3 * at.line;  // title, column headings, a gap
  for (const CriteriaTableRow& row : rows)
    height += IsNote(row) ? NoteHeight(metrics, at, row.Remark) + at.line / 4 : at.line;
  return height;
}

}  // namespace

std::vector<CriteriaTableRow> ImpulseCriteriaRows(const ImpulseCriteria& c) {
  std::vector<CriteriaTableRow> rows = {
      {"Lpk, sample maximum", Fixed(c.LpkDb, 2), "dB", "unweighted"},
      {"Lpk, true peak", Fixed(c.LpkTrueDb, 2), "dB", "4x oversampled" + At(c.PeakTimeMs)},
      {"LCpeak, sample maximum", Fixed(c.LCpeakDb, 2), "dB(C)", "C-weighted"},
      {"LCpeak, true peak", Fixed(c.LCpeakTrueDb, 2), "dB(C)",
       "4x oversampled" + At(c.LCpeakTimeMs)},
      {"A-duration Ta", Fixed(c.ADurationMs, 3), "ms", "positive phase (MIL-STD-1474D)"},
      {"B-duration Tb", Fixed(c.BDurationMs, 3), "ms", "envelope within 20 dB of the peak"},
      {"LAE", Fixed(c.LAEDb, 2), "dB(A)", "A-weighted exposure re 1 s"},
      {"LIAeq100ms", Fixed(c.LIAeq100msDb, 2), "dB(A)", "LAE + 10 dB (MIL-STD-1474E)"},
      {"Corrected A-duration Ac", Fixed(c.ADurationCorrectedMs, 3), "ms", "Ta within 0.2 - 2.5 ms"},
      {"LIAeq8hr", Fixed(c.LIAeq8hrDb, 2), "dB(A)", "with the A-duration correction"},
      {"Noise dose", Significant(c.DosePercent, 4), "%", "per impulse, 85 dB(A), 3 dB exchange"},
      {"Allowed impulses per day", Significant(c.Allowed, 4), "", "by LIAeq8hr"},
  };
  for (const ImpulseVerdict& v : c.Verdicts)
    rows.push_back({QString::fromStdString(v.Rule),
                    !v.Exceeded   ? "n/a"
                    : *v.Exceeded ? "exceeded"
                                  : "not exceeded",
                    "",
                    QString::fromStdString(v.Level) + " true peak against " +
                        QString::number(v.LimitDb, 'f', 0) + " dB"});
  for (const std::string& note : c.Notes)
    rows.push_back({"Note", "", "", QString::fromStdString(note)});
  return rows;
}

QString ImpulseCriteriaText(const std::vector<CriteriaTableRow>& rows) {
  QString text = "Criterion\tValue\tUnit\tRemark\n";
  for (const CriteriaTableRow& row : rows)
    text += row.Criterion + '\t' + row.Value + '\t' + row.Unit + '\t' + row.Remark + '\n';
  return text;
}

void ImpulseCriteriaTable(QPainter& painter, QSize client,
                          const std::vector<CriteriaTableRow>& rows, const QString& title) {
  const int bandHeight = Rounded(0.5 * client.height());
  painter.fillRect(0, 0, client.width(), bandHeight, Qt::white);
  QFont font = AxisFont(client);
  for (;;) {
    painter.setFont(font);
    const QFontMetrics metrics = painter.fontMetrics();
    if (TableHeight(metrics, LayOut(client, metrics), rows) <= bandHeight ||
        font.pointSize() <= kSmallestPoints)
      break;
    font.setPointSize(font.pointSize() - 1);
  }
  const QFontMetrics metrics = painter.fontMetrics();
  const Layout at = LayOut(client, metrics);
  painter.setPen(Qt::black);
  // A table too long even at the smallest font is cut at the band's bottom: the plot below stays.
  painter.setClipRect(0, 0, client.width(), bandHeight);
  int y = 0;
  const auto text = [&](int x, const QString& s, Qt::Alignment align, int width) {
    painter.drawText(QRect(x, y, width, at.line), align | Qt::AlignVCenter,
                     metrics.elidedText(s, Qt::ElideRight, width));
  };
  text(at.left, title, Qt::AlignLeft, at.right - at.left);
  y += at.line;
  for (const auto& [x, caption, align, width] :
       {std::tuple{at.left, "CRITERION", Qt::AlignLeft, at.valueRight - at.left},
        std::tuple{at.left, "VALUE", Qt::AlignRight, at.valueRight - at.left},
        std::tuple{at.unitLeft, "UNIT", Qt::AlignLeft, at.remarkLeft - at.unitLeft},
        std::tuple{at.remarkLeft, "REMARK", Qt::AlignLeft, at.right - at.remarkLeft}})
    text(x, caption, align, width);
  y += at.line;
  painter.drawLine(at.left, y, at.right, y);
  y += at.line / 2;
  for (const CriteriaTableRow& row : rows) {
    if (IsNote(row)) {
      const int height = NoteHeight(metrics, at, row.Remark);
      painter.drawText(QRect(at.left, y, at.right - at.left, height), Qt::TextWordWrap, row.Remark);
      y += height + at.line / 4;
      continue;
    }
    // The criterion stops short of the value column; the value ends at it.
    const int valueWidth = metrics.horizontalAdvance("not exceeded ");
    text(at.left, row.Criterion, Qt::AlignLeft, at.valueRight - valueWidth - at.left);
    text(at.valueRight - valueWidth, row.Value, Qt::AlignRight, valueWidth);
    text(at.unitLeft, row.Unit, Qt::AlignLeft, at.remarkLeft - at.unitLeft);
    text(at.remarkLeft, row.Remark, Qt::AlignLeft, at.right - at.remarkLeft);
    y += at.line;
  }
  painter.setClipping(false);
}

}  // namespace orvek
