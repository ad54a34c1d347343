#include "app/TForm1.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <exception>
#include <tuple>

namespace orvek {
namespace {

QAction* FindCommand(const QList<QAction*>& actions, const QString& caption) {
  for (QAction* action : actions) {
    if (action->text() == caption) return action;
    if (const QMenu* menu = action->menu())
      if (QAction* found = FindCommand(menu->actions(), caption)) return found;
  }
  return nullptr;
}

}  // namespace

TForm1::TForm1(Prompts& prompts, Options options, QWidget* parent)
    : QMainWindow(parent),
      StartupFolder(std::move(options.StartupFolder)),
      LastOpenFolder(StartupFolder),
      SampleCapacity(options.SampleCapacity.value_or(-1)),
      prompts_(prompts) {
  setWindowTitle("ORVEK INTENSE SOUND HAZARD ANALYSIS");
  canvas_ = new Canvas(this);
  setCentralWidget(canvas_);
  canvas_->OnDoubleClick = [this](QMouseEvent*) { RunUserCommand([this] { FormDblClick(); }); };
  canvas_->OnContextMenu = [this](QContextMenuEvent* event) {
    if (PopupOpensAutomatically) PopupMenu1->popup(event->globalPos());
  };
  canvas_->OnResized = [this] { ClientResized(); };
  canvas_->OnMousePress = [this](QMouseEvent* event) {
    RunCommand([=, this] { FormMouseDown(event->position().toPoint(), event->button()); });
  };
  canvas_->OnMouseMove = [this](QMouseEvent* event) {
    RunCommand([=, this] { FormMouseMove(event->position().toPoint()); });
  };
  canvas_->OnMouseRelease = [this](QMouseEvent* event) {
    RunCommand([=, this] { FormMouseUp(event->position().toPoint()); });
  };

  progress_ = new QProgressBar(canvas_);
  progress_->setRange(0, 100);
  progress_->hide();
  statusBox_ = new QLineEdit(canvas_);
  statusBox_->setReadOnly(true);
  statusBox_->hide();
  cancelButton_ = new QPushButton("Cancel", canvas_);
  cancelButton_->hide();

  BuildMenus();
  SetUpGridView();
  Button2 = AddToolButton("&Done", &TForm1::Button2Click);
  Button3 = AddToolButton("&Expand Selection", &TForm1::Button3Click);
  Button4 = AddToolButton("&Select ", &TForm1::Button4Click);
  Button5 = AddToolButton("&Done", &TForm1::Button5Click);
  Button6 = AddToolButton("&Done", &TForm1::Button6Click);
  Button12 = AddToolButton("&Done", &TForm1::Button12Click);
}

TForm1::~TForm1() = default;

QAction* TForm1::AddCommand(QMenu* menu, const QString& caption, void (TForm1::*handler)()) {
  return AddCommand(menu, caption, [this, handler] { (this->*handler)(); });
}

QAction* TForm1::AddCommand(QMenu* menu, const QString& caption, std::function<void()> handler) {
  QAction* action = menu->addAction(caption);
  connect(action, &QAction::triggered, this,
          [this, handler = std::move(handler)] { RunUserCommand(handler); });
  return action;
}

void TForm1::BuildMenus() {
  FileMenu = menuBar()->addMenu("&File");
  OpenORVwaveform1 = AddCommand(FileMenu, "Open ORV waveform", &TForm1::OpenORVwaveform1Click);
  OverlayORVwaveform1 =
      AddCommand(FileMenu, "Overlay ORV waveform", &TForm1::OverlayORVwaveform1Click);
  Importwaveform1 = AddCommand(FileMenu, "Import waveform", &TForm1::Importwaveform1Click);
  SaveORVwaveform1 = AddCommand(FileMenu, "Save ORV waveform", &TForm1::SaveORVwaveform1Click);
  SaveORVwaveformas1 =
      AddCommand(FileMenu, "Save ORV waveform as", &TForm1::SaveORVwaveformas1Click);
  SaveWAVwaveform1 = AddCommand(FileMenu, "Save WAV waveform", &TForm1::SaveWAVwaveform1Click);
  Copyscreentoclipboard1 =
      AddCommand(FileMenu, "Copy screen to clipboard", &TForm1::Copyscreentoclipboard1Click);
  Copywaveformtoclipboard1 =
      AddCommand(FileMenu, "Copy waveform to clipboard", &TForm1::Copywaveformtoclipboard1Click);
  Copyospectrumtoclipboard1 =
      AddCommand(FileMenu, "Copy spectrum to clipboard", &TForm1::Copyospectrumtoclipboard1Click);
  Exportplot1 = AddCommand(FileMenu, "Export plot...", &TForm1::Exportplot1Click);
  Savereport1 = AddCommand(FileMenu, "Save report", &TForm1::Savereport1Click);
  Exit1 = AddCommand(FileMenu, "&Exit", &TForm1::Exit1Click);

  AnalyzeMenu = menuBar()->addMenu("&Analyze");
  NoProtectorWarned1 = AddCommand(AnalyzeMenu, "ARU(W) Auditory Risk Units, Warned",
                                  &TForm1::NoProtectorWarned1Click);
  NoProtectorUnWarned1 = AddCommand(AnalyzeMenu, "ARU(U) Auditory Risk Units, Unwarned",
                                    &TForm1::NoProtectorUnWarned1Click);

  Help1 = menuBar()->addAction("&Help");
  connect(Help1, &QAction::triggered, this, [this] { RunUserCommand([this] { Help1Click(); }); });

  BuildPopupMenu();
}

void TForm1::BuildPopupMenu() {
  PopupMenu1 = new QMenu(this);
  QMenu* popup = PopupMenu1;
  PopupTopItems[0] = AddCommand(popup, "Select &Segment", &TForm1::SelectSegment1Click);
  PopupTopItems[1] = AddCommand(popup, "Set &Baseline", &TForm1::SetBaselineClick);
  QMenu* calibrate = popup->addMenu("&Calibrate");
  PopupTopItems[2] = calibrate->menuAction();
  const auto calibrateIn = [this](CalibrationUnit unit) {
    return [this, unit] { Calibrate(unit); };
  };
  AddCommand(calibrate, "&Multiply data by keyboard input", calibrateIn(CalibrationUnit::Factor));
  QMenu* peak = calibrate->addMenu("&Adjust to known peak pressure");
  const std::pair<const char*, CalibrationUnit> units[] = {
      {"&Atm", CalibrationUnit::Atm},
      {"&Bar", CalibrationUnit::Bar},
      {"Peak Pressure &Level dB", CalibrationUnit::PeakLevelDb},
      {"&Dynes/Cm^2", CalibrationUnit::DynPerCm2},
      {"&millibar or hPa", CalibrationUnit::Millibar},
      {"&KiloPascals", CalibrationUnit::KiloPascal},
      {"&Pascals", CalibrationUnit::Pascal},
      {"P.&S.I", CalibrationUnit::Psi}};
  for (const auto& [caption, unit] : units) AddCommand(peak, caption, calibrateIn(unit));
  PopupTopItems[3] = AddCommand(popup, "&Establish Start", &TForm1::EstablishStartClick);
  PopupTopItems[4] = AddCommand(popup, "&Taper Ends", &TForm1::ApplyTaper1Click);
  PopupTopItems[5] = AddCommand(popup, "St&atistics", &TForm1::Stats1Click);
  PopupTopItems[6] = AddCommand(popup, "Leq300ms spectrum", &TForm1::Leq300msspectrum1Click);
  ImpulseCriteria1 = AddCommand(popup, "Impulse Criteria", &TForm1::ImpulseCriteria1Click);
  // Off with the other measures while a spectrum or an analysis holds the window.
  connect(PopupTopItems[6], &QAction::enabledChanged, ImpulseCriteria1, &QAction::setEnabled);
  PopupTopItems[7] = AddCommand(popup, "&Resample", &TForm1::Resample1Click);
  QMenu* protection = popup->addMenu("APPLY HEARING PROTECTION");
  PopupTopItems[8] = protection->menuAction();
  connect(protection, &QMenu::aboutToShow, this,
          [this] { RunUserCommand([this] { ApplyEarProtector1Click(); }); });
  DefaultModeMenu = protection->addMenu("DEFAULT MODE");
  AddCommand(DefaultModeMenu, "HELP", &TForm1::Help2Click);
  QMenu* power = protection->addMenu("POWER USER MODE");
  using Place = PowerUserPlace;
  const auto place = [this](Place p) -> QMenu*& { return PowerUserMenus[static_cast<int>(p)]; };
  for (const auto& [kind, independent, dependent] :
       {std::tuple{"PLUG", Place::PlugLevelIndependent, Place::PlugLevelDependent},
        std::tuple{"MUFF", Place::MuffLevelIndependent, Place::MuffLevelDependent}}) {
    QMenu* sub = power->addMenu(kind);
    place(independent) = sub->addMenu("LEVEL INDEPENDENT");
    place(dependent) = sub->addMenu("LEVEL DEPENDENT");
  }
  place(Place::PlugPlusMuff) = power->addMenu("PLUG + MUFF");
  QMenu* other = power->addMenu("OTHER");
  place(Place::OtherPlug) = other->addMenu("PLUG");
  place(Place::OtherMuff) = other->addMenu("MUFF");
  place(Place::OtherPlugPlusMuff) = other->addMenu("PLUG + MUFF");
}

void TForm1::RunCommand(const std::function<void()>& command) {
  try {
    command();
  } catch (const std::exception& error) {
    prompts_.Error(QString::fromStdString(error.what()));
  }
}

void TForm1::RunUserCommand(const std::function<void()>& command) {
  RunCommand([&] {
    ApplyPendingEdits();
    command();
  });
}

QAction* TForm1::Command(const QString& caption) const {
  if (QAction* action = FindCommand(menuBar()->actions(), caption)) return action;
  return FindCommand(PopupMenu1->actions(), caption);
}

QPushButton* TForm1::ToolButton() const {
  for (QPushButton* button : {Button2, Button3, Button4, Button5, Button6, Button12})
    if (button->isVisible()) return button;
  return nullptr;
}

void TForm1::SaveForm() { ScreenSnapshot = canvas_->Image().copy(); }

void TForm1::RestoreForm() {
  if (!ScreenSnapshot.isNull()) {
    QPainter painter(&canvas_->Image());
    painter.drawImage(0, 0, ScreenSnapshot);
  }
  canvas_->update();
  QApplication::processEvents();
}

// Every geometry follows the client area: redraw what the window shows at the new size.
void TForm1::ClientResized() {
  if (!record_) return;  // start-up has not run yet
  switch (screen_) {
    case Screen::Start:
      DrawStartScreen();
      break;
    case Screen::Plot:
      LayOutForWaveform();
      Plot.FreshFrame = true;
      DrawPressureTimePlot();
      break;
    case Screen::Blank:
      canvas_->Image().fill(Qt::white);
      break;
  }
  SaveForm();
  // An open cursor tool stays usable: its lines and button follow the new plot.
  if (cursor_.Active && screen_ == Screen::Plot) {
    DrawCursorLine(cursor_.X1, cursor_.Colour1);
    DrawCursorLine(cursor_.X2, cursor_.Colour2);
    if (QPushButton* button = ToolButton()) ShowToolButton(button);
  }
  if (ShownCriteria) DrawImpulseCriteriaTable();
  canvas_->update();
}

}  // namespace orvek
