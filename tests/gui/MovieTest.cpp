// The result displays and the hazard movie driven through the window: the run-time menu items,
// and commands that arrive while the movie runs.
#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QMenuBar>

#include "tests/gui/WindowFixture.h"

namespace orvek {
namespace {

class MovieTest : public WindowTest {
 protected:
  // A short rifle-like record (1024 samples, so the movie runs 1023 frames), opened once and
  // analysed (warned), then (`ready`) stepped through "Stapes Displacement]" and "Unwrap Cochlea]".
  TForm1& ReadyForMovie(bool ready = true) {
    TForm1& w = window_ && window_->Record().Loaded()
                    ? *window_
                    : OpenShot("SHOT.ORV", {.Samples = 1024, .OnsetMs = 0.5});
    Trigger("ARU(W) Auditory Risk Units, Warned");
    if (!ready) return w;
    Item("Stapes Displacement]")->trigger();
    Item("Unwrap Cochlea]")->trigger();
    return w;
  }

  // A click that reaches the window through its messages, as a user's would during the movie.
  static void PostClick(QAction* item) {
    QMetaObject::invokeMethod(item, &QAction::trigger, Qt::QueuedConnection);
  }

  // Starts "Hazard Animation]", brought to a delay of 1 ms at its first frame; returns the frames
  // drawn, in order. `atFrame` runs after each one.
  std::vector<std::int32_t> Play(const std::function<void(std::int32_t)>& atFrame = {}) {
    std::vector<std::int32_t> frames;
    window_->OnMovieFrame = [&](std::int32_t f) {
      QKeyEvent up(QEvent::KeyPress, Qt::Key_Up, Qt::NoModifier);
      while (window_->MovieState().DelayMs() > 1) QApplication::sendEvent(window_.get(), &up);
      frames.push_back(f);
      if (atFrame) atFrame(f);
    };
    Item("Hazard Animation]")->trigger();
    window_->OnMovieFrame = nullptr;
    return frames;
  }
};

TEST_F(MovieTest, MenuSequenceAndCancel) {
  TForm1& w = ReadyForMovie(false);
  EXPECT_EQ(AddedItems(), QStringList({"Movie[Cancel ,", "Stapes Displacement]"}));
  Item("Stapes Displacement]")->trigger();
  Item("Unwrap Cochlea]")->trigger();
  EXPECT_EQ(AddedItems(), QStringList({"Movie[Cancel ,", "Hazard Animation]"}));
  const std::vector<std::int32_t> frames = Play();  // f = 1 .. last - 1, each drawing frame f + 1
  EXPECT_EQ(frames.size(), 1022u);
  EXPECT_EQ(frames.back(), 1022);
  EXPECT_EQ(AddedItems(), QStringList({"Movie[Cancel]"}));
  EXPECT_TRUE(prompts_.Informations.isEmpty());

  Item("Movie[Cancel]")->trigger();
  EXPECT_EQ(w.menuBar()->actions().size(), 3);  // File, Analyze, Help
  ASSERT_EQ(prompts_.Informations.size(), 1);
  EXPECT_TRUE(prompts_.Informations[0].startsWith("The hazard analysis ends here"));
  ExpectNoErrors();
}

// Cancel, open and a new analysis arrive while a frame's messages are processed: the
// movie draws no further frame, and what the command leaves in the menu bar stays.
TEST_F(MovieTest, CommandsDuringTheMovieEndIt) {
  struct Case {
    const char* name;
    std::function<void()> command;
    QStringList itemsAfter;
  };
  const Case cases[] = {{"cancel", [this] { PostClick(Item("Movie[Cancel]")); }, {}},
                        {"analysis",
                         [this] { PostClick(Item("ARU(W) Auditory Risk Units, Warned")); },
                         {"Movie[Cancel ,", "Stapes Displacement]"}},
                        {"open",
                         [this] {
                           Choose(In("SHOT.ORV"));
                           PostClick(Item("Open ORV waveform"));
                         },
                         {}}};
  for (const Case& c : cases) {
    TForm1& w = ReadyForMovie();
    const int shown = prompts_.Informations.size();
    const auto frames = Play([&](std::int32_t f) {
      if (f == 3) c.command();
    });
    EXPECT_EQ(frames, (std::vector<std::int32_t>{1, 2, 3})) << c.name;
    EXPECT_FALSE(w.MovieIsRunning()) << c.name;
    EXPECT_EQ(prompts_.Informations.size(), shown + 1) << c.name;  // the closing message
    EXPECT_EQ(AddedItems(), c.itemsAfter) << c.name;
    EXPECT_TRUE(prompts_.Errors.isEmpty()) << c.name << prompts_.Errors.join("\n").toStdString();
    if (!AddedItems().isEmpty()) Item("Movie[Cancel ,")->trigger();
  }
}

}  // namespace
}  // namespace orvek
