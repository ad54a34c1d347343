#pragma once
#include <QPainter>
#include <QSize>
#include <QString>
#include <vector>

#include "metrics/ImpulseCriteria.h"

namespace orvek {

// One line of the impulse-criteria table. Value is "n/a" where the record does not define it; a
// note has only its text, in Remark.
struct CriteriaTableRow {
  QString Criterion, Value, Unit, Remark;
};

// The lines of the table: every criterion (levels to 0.01 dB, times to 0.001 ms, the dose and the
// allowed number to 4 significant digits), the verdicts ("exceeded", "not exceeded" or "n/a"),
// then one line per note.
std::vector<CriteriaTableRow> ImpulseCriteriaRows(const ImpulseCriteria& criteria);

// The table as tab-separated text: the line "Criterion\tValue\tUnit\tRemark", then one line per
// row, each ended by "\n" (what a spreadsheet takes from the clipboard).
QString ImpulseCriteriaText(const std::vector<CriteriaTableRow>& rows);

// Draws the table in the upper half of the client area (band top 0, height
// round(0.5 client height)), where the spectrum and insertion-loss plots go: the band cleared to
// white, `title` above four columns, notes wrapped over the whole width. The font starts at the
// axis font and shrinks until every line fits the band.
void ImpulseCriteriaTable(QPainter& painter, QSize client,
                          const std::vector<CriteriaTableRow>& rows, const QString& title);

}  // namespace orvek
