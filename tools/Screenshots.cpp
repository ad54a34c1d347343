// Takes the user guide's screenshots of the real window: the shipped data folder and a sample
// waveform are copied to a scratch folder, the window is driven through the menu items with the
// dialog answers scripted as the GUI tests script them, and each step is grabbed to a PNG.
// Run by tools/screenshots.sh under a virtual X server.
#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <cstdio>
#include <filesystem>

#include "app/ScriptedPrompts.h"
#include "app/TForm1.h"

namespace fs = std::filesystem;

namespace {

QAction* ItemCalled(const orvek::TForm1& window, const QString& caption) {
  if (QAction* item = window.Command(caption)) return item;
  throw std::runtime_error("no menu item " + caption.toStdString());
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationDisplayName("ORVEK Ver 1.0");
  if (argc != 3) {
    std::fprintf(stderr, "usage: orvek-screenshots DATA_DIR OUTPUT_DIR\n");
    return 2;
  }
  const fs::path data = argv[1], output = argv[2];
  const fs::path scratch = fs::temp_directory_path() / "orvek-screenshots";
  fs::remove_all(scratch);
  fs::create_directories(scratch);
  fs::copy(data, scratch / "startup", fs::copy_options::recursive);
  fs::create_directories(scratch / "waves");
  fs::copy(data / "samples" / "RIFLE160.ORV", scratch / "waves" / "RIFLE160.ORV");
  fs::create_directories(output);

  orvek::ScriptedPrompts prompts;
  orvek::TForm1 window(prompts, {scratch / "startup", std::nullopt});
  window.resize(1280, 860);
  window.show();
  QApplication::processEvents();
  window.FormCreate();
  int taken = 0;
  const auto shot = [&](const char* name) {
    QApplication::processEvents();
    const QString file = QString::fromStdString((output / name).string());
    if (!window.grab().save(file)) throw std::runtime_error("cannot write " + file.toStdString());
    std::printf("%s\n", qPrintable(file));
    ++taken;
  };
  const auto open = [&](const fs::path& file) {
    window.OpenWaveform(QString::fromStdString(file.string()));
  };

  try {
    shot("01-start.png");
    open(scratch / "waves" / "RIFLE160.ORV");
    shot("02-waveform.png");
    ItemCalled(window, "ARU(W) Auditory Risk Units, Warned")->trigger();
    shot("03-hazard-warned.png");
    // The result displays in turn, then the movie grabbed a little after the impulse has passed.
    for (const char* step : {"Stapes Displacement]", "Unwrap Cochlea]"})
      ItemCalled(window, step)->trigger();
    const auto key = [&](Qt::Key pressed) {
      QKeyEvent event(QEvent::KeyPress, pressed, Qt::NoModifier);
      QApplication::sendEvent(&window, &event);
    };
    window.OnMovieFrame = [&](std::int32_t f) {
      while (window.MovieState().DelayMs() > 1) key(Qt::Key_Up);
      if (f != 1400) return;
      shot("07-movie.png");
      key(Qt::Key_End);
    };
    ItemCalled(window, "Hazard Animation]")->trigger();
    window.OnMovieFrame = nullptr;

    open(scratch / "waves" / "RIFLE160.ORV");
    prompts.Answers = {orvek::Prompts::Answer::Yes, orvek::Prompts::Answer::Yes};
    ItemCalled(window, "PASSIVE EARMUFF")->trigger();
    shot("04-protector.png");

    open(scratch / "waves" / "RIFLE160_PASSIVE EARMUFF_90.ORV");
    ItemCalled(window, "ARU(W) Auditory Risk Units, Warned")->trigger();
    shot("05-protected-hazard.png");

    open(scratch / "waves" / "RIFLE160.ORV");
    ItemCalled(window, "Leq300ms spectrum")->trigger();
    shot("06-spectrum.png");
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  if (!prompts.Errors.isEmpty()) {
    std::fprintf(stderr, "%s\n", qPrintable(prompts.Errors.join("\n")));
    return 1;
  }
  fs::remove_all(scratch);
  return taken > 0 ? 0 : 1;
}
