// The header grid: a view of the record's PARAMETER / VALUE / COMMENT table whose four live cells
// apply their edits to the waveform.
#include <QAbstractItemDelegate>
#include <QHeaderView>
#include <QKeyEvent>

#include "app/TForm1.h"

namespace orvek {
namespace {

// Pending edits are applied in this order.
constexpr LiveCell kLiveCells[] = {LiveCell::Title, LiveCell::SampleRate, LiveCell::MicLocation,
                                   LiveCell::SampleCount};

// Enter in the grid (with or without an open editor) applies the pending edits at once.
class EnterFilter : public QObject {
 public:
  EnterFilter(QObject* parent, std::function<void()> onEnter)
      : QObject(parent), onEnter_(std::move(onEnter)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) {
      const int key = static_cast<QKeyEvent*>(event)->key();
      if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        onEnter_();
        return true;
      }
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<void()> onEnter_;
};

}  // namespace

void TForm1::SetUpGridView() {
  gridView_ = new QTableWidget(HeaderGrid::kRows, HeaderGrid::kColumns, canvas_);
  gridView_->horizontalHeader()->hide();
  gridView_->verticalHeader()->hide();
  gridView_->verticalHeader()->setDefaultSectionSize(18);
  gridView_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  QFont font("MS Sans Serif");
  font.setPixelSize(12);
  gridView_->setFont(font);
  gridView_->setColumnWidth(0, 210);
  gridView_->setColumnWidth(1, 126);
  gridView_->setColumnWidth(2, 692);
  gridView_->setEditTriggers(QAbstractItemView::AllEditTriggers);
  gridView_->setSelectionMode(QAbstractItemView::ContiguousSelection);
  gridView_->setContextMenuPolicy(Qt::CustomContextMenu);
  gridView_->hide();
  for (int row = 0; row < HeaderGrid::kRows; ++row)
    for (int column = 0; column < HeaderGrid::kColumns; ++column)
      gridView_->setItem(row, column, new QTableWidgetItem);

  connect(gridView_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
    record_->TypeCell(item->column(), item->row(), item->text().toStdString());
  });
  connect(gridView_, &QTableWidget::currentCellChanged, this,
          [this](int row, int column, int, int) {
            RunCommand([=, this] { GridCellSelected(column, row); });
          });
  connect(gridView_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    if (PopupOpensAutomatically) PopupMenu1->popup(gridView_->viewport()->mapToGlobal(at));
  });
  const auto enter = [this] { RunCommand([this] { GridEnterPressed(); }); };
  gridView_->installEventFilter(new EnterFilter(gridView_, enter));
  // An editor closed by Enter has committed its text already; Tab or a click does not apply.
  connect(gridView_->itemDelegate(), &QAbstractItemDelegate::closeEditor, this,
          [enter](QWidget*, QAbstractItemDelegate::EndEditHint hint) {
            if (hint == QAbstractItemDelegate::SubmitModelCache) enter();
          });
}

// The grid over the upper half of the client area, its columns in fractions of the width.
void TForm1::LayOutGrid(double name, double value, double comment) {
  const QSize client = ClientSize();
  const int w = client.width();
  const auto rounded = [](double x) { return static_cast<int>(std::nearbyint(x)); };
  gridView_->setGeometry(0, 0, w, rounded(0.5 * client.height()));
  gridView_->setColumnWidth(0, rounded(name * w));
  gridView_->setColumnWidth(1, rounded(value * w));
  gridView_->setColumnWidth(2, rounded(comment * w));
}

void TForm1::RefreshGridView() {
  const QSignalBlocker block(gridView_);
  for (int row = 0; row < HeaderGrid::kRows; ++row)
    for (int column = 0; column < HeaderGrid::kColumns; ++column)
      gridView_->item(row, column)
          ->setText(QString::fromStdString(record_->Grid().Cell(column, row)));
}

void TForm1::GridCellSelected(int column, int row) {
  if (column == SelectedColumn && row == SelectedRow) return;
  ApplyPendingEdits();
  SelectedColumn = column;
  SelectedRow = row;
  LiveCell cell;
  if (LiveCellAt(column, row, cell)) EditPending[static_cast<int>(cell)] = true;
}

void TForm1::GridEnterPressed() {
  LiveCell cell;
  if (LiveCellAt(SelectedColumn, SelectedRow, cell)) EditPending[static_cast<int>(cell)] = true;
  ApplyPendingEdits();
}

void TForm1::ApplyPendingEdits() {
  if (!record_ || !record_->Loaded()) return;
  bool redraw = false, any = false;
  for (LiveCell cell : kLiveCells) {
    bool& pending = EditPending[static_cast<int>(cell)];
    if (!pending) continue;
    any = true;
    const CellEditResult result = record_->ApplyCellEdit(cell);
    pending = !result.Accepted;
    redraw = redraw || result.Redraw;
  }
  if (!any) return;
  RefreshGridView();
  if (redraw) RedrawPlot();
}

}  // namespace orvek
