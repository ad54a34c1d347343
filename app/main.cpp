#include <QApplication>
#include <QScreen>
#include <filesystem>

#include "app/QtPrompts.h"
#include "app/TForm1.h"
#include "base/FileNames.h"

// The start-up folder is the current directory when it holds "Man.Fig", otherwise the data
// folder shipped with the program.
static std::filesystem::path StartupFolder() {
  const auto current = std::filesystem::current_path();
  if (std::filesystem::exists(orvek::ResolveInFolder(current, "Man.Fig"))) return current;
  return ORVEK_DATA_DIR;
}

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationDisplayName("ORVEK Ver 1.0");
  orvek::QtPrompts prompts;
  orvek::TForm1 window(prompts, {StartupFolder(), std::nullopt});
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
