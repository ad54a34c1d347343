#pragma once
// A main window on the offscreen platform with scripted dialogs, started in a temporary copy of
// the shipped data folder, and ORV files to open in it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMouseEvent>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>

#include "app/ScriptedPrompts.h"
#include "app/TForm1.h"
#include "model/Friedlander.h"
#include "tests/core/TempFolder.h"
#include "waveform/OrvFile.h"

namespace orvek {
namespace fs = std::filesystem;

// Writes an ORV file: header rows as the writer lays them out, then one sample per line.
// By default: 1000 Pa at sample 10, -500 Pa at sample 20, zero elsewhere.
inline void WriteOrv(const fs::path& path, int count, const std::string& rate = "200000 ",
                     const std::string& mic = "1 ",
                     const std::function<float(int)>& sample = nullptr) {
  std::ofstream out(path, std::ios::binary);
  out << "PARAMETER \tVALUE \tCOMMENT \r\n"
      << "Title for waveform plot \t \tTEST SHOT \r\n"
      << "Sampling rate \t" << rate << "\t(samples/sec) \r\n"
      << "Microphone relative to ear \t" << mic << "\t1: Free-field \r\n"
      << "Number of Samples \t" << count << " \tcomment \r\n";
  for (int i = 0; i < count; ++i) {
    const float value = sample ? sample(i) : i == 10 ? 1000.0f : i == 20 ? -500.0f : 0.0f;
    out << CompactFloatText(value) << "\r\n";
  }
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(folder_ / "waves");
    fs::copy(ORVEK_DATA_DIR, folder_ / "startup", fs::copy_options::recursive);
  }
  void TearDown() override { window_.reset(); }  // before its folder goes

  TForm1& Start(std::int32_t capacity = 1 << 20) {
    window_ = std::make_unique<TForm1>(prompts_, TForm1::Options{folder_ / "startup", capacity});
    window_->resize(1200, 800);
    window_->show();
    QApplication::processEvents();
    window_->FormCreate();
    return *window_;
  }

  fs::path In(const std::string& name) const { return folder_ / "waves" / name; }
  // The answer of the next file dialog.
  void Choose(const fs::path& file) {
    prompts_.Files.push_back(QString::fromStdString(file.string()));
  }
  // A Friedlander impulse (by default 160 dB, 0.3 ms, at 5 ms in 8192 samples at 200 kHz) as the
  // ORV file waves/NAME, with the impulse's rate and microphone location in its header (any the
  // header takes, 4 included: the samples do not depend on it), every sample times `gain`.
  fs::path WriteShot(const std::string& name, const FriedlanderSpec& spec = {},
                     float gain = 1.0f) const {
    FriedlanderSpec freeField = spec;
    freeField.MicLocation = 1;
    const std::vector<float> samples = FriedlanderSamples(freeField);
    WriteOrv(In(name), spec.Samples,
             std::to_string(static_cast<std::int64_t>(spec.SampleRate)) + " ",
             std::to_string(spec.MicLocation) + " ",
             [&](int i) { return gain * samples[static_cast<std::size_t>(i)]; });
    return In(name);
  }
  // ... opened in the window, which is started when there is none yet.
  TForm1& OpenShot(const std::string& name = "SHOT.ORV", const FriedlanderSpec& spec = {}) {
    TForm1& w = window_ ? *window_ : Start();
    Open(WriteShot(name, spec));
    return w;
  }
  static std::string Bytes(const fs::path& file) { return test::TempFolder::Read(file); }
  QString Cell(int column, int row) const { return window_->gridView()->item(row, column)->text(); }
  const TWaveform& Record() const { return window_->Record().Waveform(); }
  void Open(const fs::path& file) { window_->OpenWaveform(QString::fromStdString(file.string())); }
  // A menu, pop-up or run-time item by its caption; the test fails when there is none.
  QAction* Item(const QString& caption) const {
    QAction* item = window_->Command(caption);
    if (!item) ADD_FAILURE() << "no item " << caption.toStdString();
    return item;
  }
  void Trigger(const QString& caption) const {
    if (QAction* item = Item(caption)) item->trigger();
  }
  // A submenu of the pop-up menu by the captions that lead to it.
  QMenu* Submenu(const QStringList& path) const {
    QMenu* menu = window_->PopupMenu();
    for (const QString& caption : path) {
      QMenu* next = nullptr;
      for (QAction* action : menu->actions())
        if (action->text() == caption && action->menu()) next = action->menu();
      if (!next) {
        ADD_FAILURE() << "no submenu " << caption.toStdString();
        return menu;
      }
      menu = next;
    }
    return menu;
  }
  // Pixel of the plot at sample `index` of the record shown.
  int PixelOf(std::int32_t index) const {
    const CursorArea a = window_->PlotArea();
    return a.Left + static_cast<int>(std::nearbyint(double(index) * a.Width /
                                                    window_->Record().Shown().LastSampleIndex));
  }
  void ClickToolButton() const {
    if (QPushButton* button = window_->ToolButton()) return button->click();
    ADD_FAILURE() << "no tool button is shown";
  }
  void Mouse(QEvent::Type type, int x, Qt::MouseButton button = Qt::LeftButton) const {
    const CursorArea area = window_->PlotArea();
    const QPointF at(x, area.Top + area.Height / 2);
    QMouseEvent event(type, at, window_->canvas()->mapToGlobal(at), button,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : button, Qt::NoModifier);
    QApplication::sendEvent(window_->canvas(), &event);
  }
  void DoubleClick() const {
    Mouse(QEvent::MouseButtonDblClick, window_->ClientSize().width() / 2);
  }
  // Moves the line at pixel `from` to `to` in steps that keep it the nearer one.
  void Drag(int from, int to) const {
    Mouse(QEvent::MouseButtonPress, from);
    for (int x = from; x != to;) {
      const CursorToolState& c = window_->Cursors();
      const int other = std::abs(c.X1 - x) <= std::abs(c.X2 - x) ? c.X2 : c.X1;
      const int room = std::max(1, (std::abs(other - x) - 1) / 3);
      x = to > x ? std::min(to, x + room) : std::max(to, x - room);
      Mouse(QEvent::MouseMove, x);
    }
    Mouse(QEvent::MouseButtonRelease, to);
  }
  // Puts the two lines at pixels a and b (in either order) with the mouse.
  void SetLines(int a, int b) {
    if (a > b) std::swap(a, b);
    const CursorToolState& c = window_->Cursors();
    const int left = std::min(c.X1, c.X2), right = std::max(c.X1, c.X2);
    if (a <= right) {
      Drag(left, a);
      Drag(std::max(window_->Cursors().X1, window_->Cursors().X2), b);
    } else {
      Drag(right, b);
      Drag(std::min(window_->Cursors().X1, window_->Cursors().X2), a);
    }
  }
  void PressEnterInGrid() const {
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(window_->gridView(), &enter);
  }
  // The next analyses stop at their first progress step at or after `sample`, by Esc or by the
  // Cancel button; the sample they stopped at goes to *stoppedAt.
  void CancelAnalysisAt(std::int32_t sample, bool byButton = false,
                        std::int32_t* stoppedAt = nullptr) {
    window_->OnAnalysisProgress = [this, sample, byButton, stoppedAt](std::int32_t at) {
      if (at < sample) return;
      if (stoppedAt) *stoppedAt = at;
      if (byButton) {
        window_->cancelButton()->click();
        return;
      }
      QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
      QApplication::sendEvent(window_.get(), &esc);
    };
  }
  void ExpectNoErrors() const {
    EXPECT_TRUE(prompts_.Errors.isEmpty()) << prompts_.Errors.join("\n").toStdString();
  }
  // Captions of the items an analysis or the movie added after File, Analyze and Help.
  QStringList AddedItems() const {
    QStringList captions;
    const auto actions = window_->menuBar()->actions();
    for (int i = 3; i < actions.size(); ++i) captions << actions[i]->text();
    return captions;
  }

  test::TempFolder temp_;
  const fs::path folder_ = temp_.Path();
  ScriptedPrompts prompts_;
  std::unique_ptr<TForm1> window_;
};

}  // namespace orvek
