// Random sequences of commands, as a user might combine them, with the window's promises checked
// against the core after every step. ORVEK_SEQUENCE_SEED and ORVEK_SEQUENCE_COUNT run other
// seeds by hand; a failing sequence is shrunk to the shortest one that still fails.
#include <QMenuBar>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "base/FileNames.h"
#include "cli/FileAnalysis.h"
#include "model/Friedlander.h"
#include "tests/gui/WindowFixture.h"

namespace orvek {
namespace {

// One step: a command and the numbers that choose its file, cursor positions or typed values.
struct Step {
  int Command;
  unsigned Choice;
};

// clang-format off
enum Command {
  kOpen, kOpenCancel, kImport, kImportCancel, kSegment, kBaselineView, kStartView, kCloseTool,
  kTaper, kCalibrate, kResample, kWarned, kUnwarned, kOverlay, kOverlayCancel, kSpectrum,
  kSave, kSaveAs, kSaveAsCancel, kSaveWav, kMovie, kStatistics, kProtect, kAnalyzeCancel,
  kCommandCount
};
const char* const kNames[] = {
    "open", "open (cancel)", "import", "import (cancel)", "segment", "baseline view",
    "establish start view", "close tool", "taper", "calibrate", "resample", "analyze warned",
    "analyze unwarned", "overlay", "overlay (cancel)", "spectrum", "save", "save as",
    "save as (cancel)", "save wav", "movie", "statistics", "protect", "analyze (cancel)"};
// clang-format on

std::string Describe(const std::vector<Step>& steps) {
  std::ostringstream s;
  for (const Step& step : steps) s << "\n  " << kNames[step.Command] << " " << step.Choice;
  return s.str();
}

// What a cancelled command must leave alone.
struct Snapshot {
  std::vector<float> Samples;
  std::vector<std::string> Cells;
  std::vector<bool> Enabled;
  QImage Image;
  QStringList Shown;  // status box, added menu items, the hazard and the tool
  bool operator==(const Snapshot&) const = default;
};

// The fingerprint of an input file: reading must not change it.
struct FileState {
  std::string Bytes;
  fs::perms Perms;
  fs::file_time_type Time;
  bool operator==(const FileState&) const = default;
};

FileState StateOf(const fs::path& file) {
  return {test::TempFolder::Read(file), fs::status(file).permissions(), fs::last_write_time(file)};
}

class CommandSequenceTest : public WindowTest {
 protected:
  // The recordings the sequences open, import and overlay.
  void MakeInputs() {
    FriedlanderSpec spec;
    spec.Samples = 2048;
    spec.OnsetMs = 2.0;
    const std::vector<float> wave = FriedlanderSamples(spec);
    const auto at = [&](float gain) {
      return [&wave, gain](int i) { return gain * wave[static_cast<std::size_t>(i)]; };
    };
    WriteOrv(In("SHOT.ORV"), 2048, "200000 ", "1 ", at(1.0f));
    WriteOrv(In("blast_2.5m.ORV"), 2048, "200000 ", "1 ", at(0.3f));
    WriteOrv(In("EAR.ORV"), 2048, "200000 ", "2 ", at(0.1f));
    WriteOrv(In("SLOW.ORV"), 1024, "100000 ", "1 ", at(0.5f));
    std::ofstream text(In("gun.100"), std::ios::binary);
    for (int i = 0; i < 1024; ++i) text << wave[static_cast<std::size_t>(i)] << "\r\n";
    std::ofstream sheet(In("sheet.csv"), std::ios::binary);
    sheet << "date,pressure\r\n";
    for (int i = 0; i < 1024; ++i)
      sheet << "1/2/2020," << wave[static_cast<std::size_t>(i)] << "\r\n";
  }
  fs::path In(const std::string& name) const { return folder_ / "waves" / name; }

  std::string Run(const std::vector<Step>& steps) {
    window_.reset();
    fs::remove_all(folder_ / "waves");
    fs::create_directories(folder_ / "waves");
    MakeInputs();
    written_.clear();
    for (const auto& entry : fs::directory_iterator(folder_ / "waves"))
      inputs_[entry.path()] = StateOf(entry.path());
    Start(1 << 16);
    for (std::size_t i = 0; i < steps.size(); ++i) {
      const std::string failure = Apply(steps[i]);
      if (std::getenv("ORVEK_SEQUENCE_VERBOSE"))
        std::cout << kNames[steps[i].Command] << ": " << Record().Count() << " samples, "
                  << prompts_.Errors.join(" / ").toStdString() << "\n";
      if (!failure.empty()) return "step " + std::to_string(i + 1) + ": " + failure;
    }
    return "";
  }

  bool Enabled(const QString& caption) const {
    QAction* item = window_->Command(caption);
    if (!item || !item->isEnabled()) return false;
    for (QAction* parent : window_->menuBar()->actions())
      if (parent->menu() && parent->menu()->actions().contains(item)) return parent->isEnabled();
    return true;
  }
  Snapshot Take() const {
    const TWaveform& w = Record();
    Snapshot s{{w.Samples.begin(), w.Samples.begin() + std::max(0, w.Count())}, {}, {}, {}, {}};
    s.Samples.push_back(w.SampleRate);
    s.Samples.push_back(w.TimeStart);
    for (int row = 0; row < HeaderGrid::kRows; ++row)
      for (int column = 0; column < HeaderGrid::kColumns; ++column)
        s.Cells.push_back(window_->Record().Grid().Cell(column, row));
    for (const char* caption : {"Save ORV waveform", "Save ORV waveform as", "Save WAV waveform",
                                "ARU(W) Auditory Risk Units, Warned", "Overlay ORV waveform"})
      s.Enabled.push_back(Enabled(caption));
    s.Image = window_->canvas()->Image().copy();
    const TForm1& f = *window_;
    s.Shown << f.statusBox()->text() << QString::number(f.statusBox()->isVisible()) << AddedItems()
            << QString::number(f.HazardIsComputed())
            << (f.Hazard() ? QString::number(f.Hazard()->Cochlea.Hazard) : "none")
            << QString::number(f.Cursors().Active) << QString::number(f.PopupOpens());
    return s;
  }

  std::string Apply(const Step& step) {
    TForm1& w = *window_;
    prompts_ = ScriptedPrompts{};
    const unsigned c = step.Choice;
    const std::vector<fs::path> orv = {In("SHOT.ORV"), In("blast_2.5m.ORV"), In("EAR.ORV"),
                                       In("SLOW.ORV")};
    const auto choose = [&](const fs::path& file) {
      prompts_.Files.push_back(QString::fromStdString(file.string()));
    };
    const Snapshot before = Take();
    bool cancelled = false;
    std::optional<fs::path> saved, savedWav;
    std::optional<fs::path> ear;
    std::optional<Listener> analysed;
    switch (step.Command) {
      case kOpen:
        choose(orv[c % orv.size()]);
        Trigger("Open ORV waveform");
        if (w.Record().File() != orv[c % orv.size()])
          return "the file opened is not the file chosen";
        break;
      case kImport: {
        const bool sheet = c % 2;
        prompts_.Answers.push_back(Prompts::Answer::Yes);
        prompts_.Texts.push_back(sheet ? "2" : "1");
        choose(sheet ? In("sheet.csv") : In("gun.100"));
        Trigger("Import waveform");
        if (!sheet && Record().SampleRate != 100000.0f) return "gun.100 was not read at 100 kHz";
        break;
      }
      case kOpenCancel:
      case kImportCancel:
      case kOverlayCancel:
      case kSaveAsCancel: {
        const char* caption = step.Command == kOpenCancel      ? "Open ORV waveform"
                              : step.Command == kImportCancel  ? "Import waveform"
                              : step.Command == kOverlayCancel ? "Overlay ORV waveform"
                                                               : "Save ORV waveform as";
        if (!Enabled(caption)) return "";
        prompts_.Files.push_back(std::nullopt);
        Trigger(caption);
        cancelled = true;
        break;
      }
      case kSegment:
      case kBaselineView:
      case kStartView:
      case kStatistics: {
        const char* caption = step.Command == kSegment        ? "Select &Segment"
                              : step.Command == kBaselineView ? "Set &Baseline"
                              : step.Command == kStartView    ? "&Establish Start"
                                                              : "St&atistics";
        if (!Enabled(caption) || w.Cursors().Active) return "";
        Trigger(caption);
        if (!w.Cursors().Active) break;
        const CursorArea a = w.PlotArea();
        SetLines(a.Left + int(c % 40) * a.Width / 100,
                 a.Left + (50 + int(c / 40 % 50)) * a.Width / 100);
        if (step.Command == kSegment || step.Command == kBaselineView) ClickToolButton();
        break;
      }
      case kCloseTool:
        if (w.ToolButton()) ClickToolButton();
        break;
      case kTaper:
      case kCalibrate:
      case kResample: {
        const char* caption = step.Command == kTaper       ? "&Taper Ends"
                              : step.Command == kCalibrate ? "&Multiply data by keyboard input"
                                                           : "&Resample";
        if (!Enabled(caption)) return "";
        prompts_.Answers.push_back(Prompts::Answer::Yes);
        prompts_.Texts.push_back(step.Command == kCalibrate ? (c % 2 ? "0.5" : "2")
                                 : c % 3 == 0               ? "50000"
                                 : c % 3 == 1               ? "100000"
                                                            : "200000");
        Trigger(caption);
        break;
      }
      case kWarned:
      case kUnwarned: {
        const bool warned = step.Command == kWarned;
        const char* caption =
            warned ? "ARU(W) Auditory Risk Units, Warned" : "ARU(U) Auditory Risk Units, Unwarned";
        if (!Enabled(caption)) return "";
        Trigger(caption);
        if (prompts_.Errors.isEmpty() && w.Hazard())
          analysed = warned ? Listener::Warned : Listener::Unwarned;
        break;
      }
      case kAnalyzeCancel: {
        const char* caption =
            c % 2 ? "ARU(U) Auditory Risk Units, Unwarned" : "ARU(W) Auditory Risk Units, Warned";
        if (!Enabled(caption)) return "";
        std::int32_t stoppedAt = -1;
        CancelAnalysisAt(static_cast<std::int32_t>(c / 2 % 2048), c / 4096 % 2, &stoppedAt);
        Trigger(caption);
        w.OnAnalysisProgress = nullptr;
        cancelled = stoppedAt >= 0;
        if (!cancelled && prompts_.Errors.isEmpty() && w.Hazard())
          analysed = c % 2 ? Listener::Unwarned : Listener::Warned;
        break;
      }
      case kOverlay:
        if (!Enabled("Overlay ORV waveform")) return "";
        ear = orv[c % orv.size()];
        choose(*ear);
        Trigger("Overlay ORV waveform");
        break;
      case kSpectrum:
        if (!Enabled("Leq300ms spectrum")) return "";
        Trigger("Leq300ms spectrum");
        if (QAction* exit = w.Command("[Exit Leq300 Spectrum]")) exit->trigger();
        break;
      case kSave:
        if (!Enabled("Save ORV waveform")) return "";
        saved = w.Record().File();
        Trigger("Save ORV waveform");
        break;
      case kSaveAs: {
        if (!Enabled("Save ORV waveform as")) return "";
        const char* names[] = {"out_1.5m.ORV", "out", "run.2.ORV", "SHOT.ORV"};
        const std::string name = names[c % 4];
        choose(In(name));
        prompts_.Answers.push_back(Prompts::Answer::Yes);  // replace an earlier "out.ORV"
        saved = In(name == "out" ? "out.ORV" : name);
        Trigger("Save ORV waveform as");
        break;
      }
      case kSaveWav:
        if (!Enabled("Save WAV waveform")) return "";
        choose(In("take.wav"));
        savedWav = In("take.wav");
        Trigger("Save WAV waveform");
        break;
      case kProtect: {
        QAction* muff = nullptr;
        for (QAction* item : Submenu({"APPLY HEARING PROTECTION", "DEFAULT MODE"})->actions())
          if (item->text() == "PASSIVE EARMUFF") muff = item;
        if (!muff || !window_->Record().Loaded() || !muff->isEnabled()) return "";
        prompts_.Answers = {Prompts::Answer::Yes, Prompts::Answer::Yes};
        const fs::path input = w.Record().File();
        muff->trigger();
        if (prompts_.Errors.isEmpty()) {
          const fs::path output =
              input.parent_path() / (input.stem().string() + "_PASSIVE EARMUFF_90.ORV");
          if (!fs::exists(output)) return "the prediction is not named after " + input.string();
          written_.insert(output);
        }
        break;
      }
      case kMovie:
        for (const char* caption : {"Stapes Displacement]", "Movie[Cancel ,", "Movie[Cancel]"})
          if (QAction* item = w.Command(caption)) {
            item->trigger();
            break;
          }
        break;
    }
    return Check(before, cancelled, saved, savedWav, ear, analysed);
  }

  std::string Check(const Snapshot& before, bool cancelled, const std::optional<fs::path>& saved,
                    const std::optional<fs::path>& savedWav, const std::optional<fs::path>& ear,
                    const std::optional<Listener>& analysed) {
    const TWaveform& w = Record();
    const HeaderGrid& grid = window_->Record().Grid();
    // 4: a cancelled command changes nothing.
    if (cancelled && !(Take() == before)) return "a cancelled command changed the window";
    // The live cells describe the samples held.
    if (w.Count() > 0 && w.WaveformLoaded) {
      const std::optional<double> rate = CellReal(grid.Cell(1, HeaderRow::SampleRate));
      if (!rate || static_cast<float>(*rate) != w.SampleRate)
        return "cell (1, 2) \"" + grid.Cell(1, 2) + "\" is not the rate of the samples";
      if (CellWholeNumber(grid.Cell(1, HeaderRow::MicLocation)) != w.MicLocation)
        return "cell (1, 3) is not the location of the record";
    }
    // 5: reading never modifies a file.
    if (saved) written_.insert(*saved);
    if (savedWav) written_.insert(*savedWav);
    for (const auto& [file, state] : inputs_)
      if (!written_.contains(file) && !(StateOf(file) == state))
        return "reading changed " + file.string();
    // 2, 3, 6: a save writes the whole record to the name typed, and reopens to it.
    if (saved && prompts_.Errors.isEmpty()) {
      if (!fs::exists(*saved)) return "nothing was saved as " + saved->string();
      TWaveform back(Record().Capacity());
      HeaderGrid backGrid;
      Lcg32 random;
      OpenNewFileType5(*saved, false, back, backGrid, random);
      if (back.Count() != w.Count() || back.SampleRate != w.SampleRate ||
          back.MicLocation != w.MicLocation)
        return "the saved file is not the record";
      for (int row = 0; row <= HeaderRow::MicLocation; ++row)
        for (int column = 0; column < HeaderGrid::kColumns; ++column)
          if (backGrid.Cell(column, row) != grid.Cell(column, row))
            return "the saved header differs in row " + std::to_string(row);
      const float tolerance = 2e-4f * std::max(std::fabs(w.DataMax), std::fabs(w.DataMin)) + 1e-6f;
      for (std::int32_t i = 0; i < w.Count(); ++i)
        if (std::fabs(back.Samples[i] - w.Samples[i]) > tolerance)
          return "saved sample " + std::to_string(i) + " differs";
    }
    // 7: the comparison line names both records.
    if (ear && prompts_.Errors.isEmpty()) {
      std::ifstream in(folder_ / "startup" / "Dat" / "Hearing Protectors" / "TOB.txt");
      std::string line, last;
      while (std::getline(in, line))
        if (!line.empty()) last = line;
      const std::string name = window_->Record().BaseName() + "_to_" + UpperBaseName(*ear);
      if (last.find("\t" + name + "\t") == std::string::npos)
        return "the comparison line is not named " + name + ": " + last;
    }
    // 1: the analysis is that of the file "Save ORV waveform as" would write now.
    if (analysed) {
      TWaveform copy(Record().Capacity());
      window_->Record().CopyTo(copy);
      HeaderGrid copyGrid = grid;
      const fs::path file = folder_ / "check.ORV";
      SaveOrvFile(file, true, copyGrid, copy, {});
      auto opened = cli::Open(file);
      std::string ignored;
      const double cli =
          cli::HazardJson(file, *opened, *analysed, cli::LoadParameters(folder_ / "startup"),
                          std::nullopt, 1, ignored)["aru"];
      const double shown = window_->Hazard()->Cochlea.Hazard;
      if (std::fabs(cli - shown) > 1e-3 * std::fabs(cli) + 1e-6)
        return "the window's ARU " + std::to_string(shown) + " is not the saved file's " +
               std::to_string(cli);
    }
    return "";
  }

  std::map<fs::path, FileState> inputs_;
  std::set<fs::path> written_;
};

std::vector<Step> Sequence(std::uint32_t seed, int length) {
  std::mt19937 random(seed);
  std::vector<Step> steps{{kOpen, static_cast<unsigned>(random() % 4)}};
  while (static_cast<int>(steps.size()) < length)
    steps.push_back({static_cast<int>(random() % kCommandCount), static_cast<unsigned>(random())});
  return steps;
}

// Removes steps one at a time as long as the sequence still fails.
std::vector<Step> Shrink(std::vector<Step> steps,
                         const std::function<bool(const std::vector<Step>&)>& fails) {
  for (std::size_t i = steps.size(); i-- > 0;) {
    std::vector<Step> shorter = steps;
    shorter.erase(shorter.begin() + static_cast<std::ptrdiff_t>(i));
    if (fails(shorter)) steps = std::move(shorter);
  }
  return steps;
}

TEST_F(CommandSequenceTest, RandomSequencesKeepTheirPromises) {
  const char* seedText = std::getenv("ORVEK_SEQUENCE_SEED");
  const char* countText = std::getenv("ORVEK_SEQUENCE_COUNT");
  const std::uint32_t first = seedText ? static_cast<std::uint32_t>(std::atol(seedText)) : 15;
  const int count = countText ? std::atoi(countText) : 60;
  const auto start = std::chrono::steady_clock::now();
  for (int n = 0; n < count; ++n) {
    const std::uint32_t seed = first + static_cast<std::uint32_t>(n);
    const std::vector<Step> steps = Sequence(seed, 12);
    const std::string failure = Run(steps);
    if (failure.empty()) continue;
    const std::vector<Step> shortest =
        Shrink(steps, [&](const std::vector<Step>& s) { return !Run(s).empty(); });
    ADD_FAILURE() << "seed " << seed << ": " << Run(shortest) << Describe(shortest);
    break;
  }
  std::cout << count << " sequences from seed " << first << " in "
            << std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()
            << " s\n";
}

}  // namespace
}  // namespace orvek
