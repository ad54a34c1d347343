// Start-up, the start screen, "Help" and "Exit".
#include <QApplication>
#include <QPainter>
#include <fstream>

#include "app/TForm1.h"
#include "base/FileNames.h"
#include "base/OrvekError.h"
#include "waveform/SampleCapacity.h"

namespace orvek {
namespace {

QString PathText(const std::filesystem::path& path) {
  return QString::fromStdString(path.string());
}

}  // namespace

void TForm1::FormCreate() {
  // Buffers are sized once from the memory available now and never resized.
  if (SampleCapacity < 0) SampleCapacity = SampleCapacityFor(AvailablePhysicalMemory());
  record_ = std::make_unique<CurrentRecord>(SampleCapacity);
  MovieFrames = std::make_unique<MovieFrameStore>();

  LoadModelFiles();
  QApplication::processEvents();

  canvas_->Image().fill(Qt::white);
  PopupOpensAutomatically = false;
  MovieRunning = false;
  cursor_.Active = false;
  EditPending.fill(false);
  Plot.FreshFrame = true;

  AnalyzeMenu->menuAction()->setEnabled(false);
  for (QAction* item :
       {OverlayORVwaveform1, SaveORVwaveform1, SaveORVwaveformas1, SaveWAVwaveform1})
    item->setEnabled(false);

  LoadPictures();
  QApplication::processEvents();
  screen_ = Screen::Start;
  DrawStartScreen();
  SaveForm();
  LastOpenFolder = StartupFolder;
  LoadCatalogue();
}

// A start-up file that cannot be read is reported by name; start-up goes on with the next step so
// the window always reaches its start-up state.
void TForm1::LoadModelFiles() {
  RunCommand([this] {
    ParameterFileName = ReadManFig(ResolveInFolder(StartupFolder, "Man.Fig"));
    LoadModelParameters(ResolveInFolder(StartupFolder, ParameterFileName), ModelParameters);
    DeriveModelConstants(ModelParameters);
  });
}

void TForm1::LoadPictures() {
  for (auto [name, picture] :
       {std::pair{"EarModel.jpg", &EarModelPicture}, std::pair{"Image5.jpg", &SecondPicture}}) {
    const auto path = ResolveInFolder(StartupFolder, name);
    if (!picture->load(PathText(path)))
      prompts_.Error(QString("Cannot read the picture \"%1\".").arg(PathText(path)));
  }
}

void TForm1::DrawStartScreen() {
  QImage& image = canvas_->Image();
  image.fill(Qt::white);
  QPainter painter(&image);
  if (!EarModelPicture.isNull()) painter.drawImage(image.rect(), EarModelPicture);
  QFont title("Times New Roman", 32, QFont::Bold);
  painter.setFont(title);
  painter.setPen(QColor(255, 0, 0));
  const QFontMetrics metrics(title);
  const QString text = "MIL-STD 1474E";
  const int centreY = static_cast<int>(std::nearbyint(0.075 * image.height()));
  painter.drawText((image.width() - metrics.horizontalAdvance(text)) / 2,
                   centreY - metrics.height() / 2 + metrics.ascent(), text);
  canvas_->update();
}

void TForm1::Help1Click() {
  prompts_.Information(
      "Edit the waveform header with a left click on each text block. The right mouse button gives "
      "waveform edit options.  The left mouse button controls the nearest red cursor line.  The "
      "center DONE button completes each edit action.  Click Analyze to compute unwarned or warned "
      "hazard.  This creates an Animate option to show graphs and a movie of the hazard.  The "
      "movie "
      "has a MVI file extension with an store and recall option by File|Movie.");
  RestoreForm();
}

void TForm1::Exit1Click() { close(); }

}  // namespace orvek
