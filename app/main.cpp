#include <QApplication>
#include <QScreen>
#include <filesystem>

#include "app/QtPrompts.h"
#include "app/TForm1.h"
#include "base/UserData.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationDisplayName("ORVEK Ver 1.0");
  orvek::QtPrompts prompts;
  // The current directory when it holds "Man.Fig", else the per-user copy of the shipped data.
  std::filesystem::path startup;
  try {
    startup = orvek::DefaultStartupFolder(std::filesystem::current_path(), ORVEK_DATA_DIR);
  } catch (const std::exception& error) {
    prompts.Error(QString::fromStdString(error.what()));
    return 1;
  }
  orvek::TForm1 window(prompts, {startup, std::nullopt});
  prompts.SetParent(&window);
  // Fill the screen first, so the window has its working size even where nothing maximises it.
  window.setGeometry(QApplication::primaryScreen()->availableGeometry());
  window.showMaximized();
  window.FormCreate();
  if (argc > 1) {
    try {
      window.OpenWaveform(QString::fromLocal8Bit(argv[1]));
    } catch (const std::exception& error) {
      prompts.Error(QString::fromStdString(error.what()));
    }
  }
  return app.exec();
}
