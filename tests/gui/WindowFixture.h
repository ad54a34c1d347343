#pragma once
// A main window on the offscreen platform with scripted dialogs, started in a temporary copy of
// the shipped data folder, and ORV files to open in it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMenuBar>
#include <filesystem>
#include <fstream>
#include <functional>

#include "app/ScriptedPrompts.h"
#include "app/TForm1.h"
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
    folder_ = fs::temp_directory_path() /
              ("orvek-gui-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_ / "waves");
    fs::copy(ORVEK_DATA_DIR, folder_ / "startup", fs::copy_options::recursive);
  }
  void TearDown() override {
    window_.reset();
    fs::remove_all(folder_);
  }

  TForm1& Start(std::int32_t capacity = 1 << 20) {
    window_ = std::make_unique<TForm1>(prompts_, TForm1::Options{folder_ / "startup", capacity});
    window_->resize(1200, 800);
    window_->show();
    QApplication::processEvents();
    window_->FormCreate();
    return *window_;
  }

  QString Cell(int column, int row) const { return window_->gridView()->item(row, column)->text(); }
  // Captions of the items an analysis or the movie added after File, Analyze and Help.
  QStringList AddedItems() const {
    QStringList captions;
    const auto actions = window_->menuBar()->actions();
    for (int i = 3; i < actions.size(); ++i) captions << actions[i]->text();
    return captions;
  }

  fs::path folder_;
  ScriptedPrompts prompts_;
  std::unique_ptr<TForm1> window_;
};

}  // namespace orvek
