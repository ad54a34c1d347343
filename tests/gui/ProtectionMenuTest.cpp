// The protector catalogue as pop-up menu items, and the prediction under a protector.
#include <gtest/gtest.h>

#include "tests/gui/WindowFixture.h"

namespace orvek {
namespace {

class ProtectionMenuTest : public WindowTest {
 protected:
  static QStringList Captions(const QMenu* menu) {
    QStringList captions;
    for (const QAction* action : menu->actions()) captions << action->text();
    return captions;
  }
  void WriteCatalogue(const std::string& records) {
    std::ofstream(folder_ / "startup" / "HPD Atten.txt", std::ios::binary)
        << "h1\r\nh2\r\nh3\r\nh4\r\n"
        << records;
  }
  static std::string Record(const std::string& first) {
    return first + "\r\nMean\t-20\t-30\r\nSD\t3\t4\r\nCircuit\t0\r\n";
  }
  QMenu* Place(PowerUserPlace place) const {
    static const QStringList kPaths[] = {{},
                                         {"PLUG", "LEVEL INDEPENDENT"},
                                         {"PLUG", "LEVEL DEPENDENT"},
                                         {"MUFF", "LEVEL INDEPENDENT"},
                                         {"MUFF", "LEVEL DEPENDENT"},
                                         {"PLUG + MUFF"},
                                         {"OTHER", "PLUG"},
                                         {"OTHER", "MUFF"},
                                         {"OTHER", "PLUG + MUFF"}};
    return Submenu(QStringList({"APPLY HEARING PROTECTION", "POWER USER MODE"}) +
                   kPaths[static_cast<int>(place)]);
  }
  QMenu* DefaultMode() const { return Submenu({"APPLY HEARING PROTECTION", "DEFAULT MODE"}); }
};

TEST_F(ProtectionMenuTest, RecordsGoToTheirModesAndPlacesWithTheirCaptions) {
  WriteCatalogue(Record("Foam-plug 1.0\t0.125\t8\t\tD\tx\tP") +
                 Record("Muff\t0.125\t8\t\tPD7\tx\tq") + Record("Stack\t0.125\t8\t\tP\tx\tOD") +
                 Record("Nowhere\t0.125\t8\t\tP\tx\tZ"));
  TForm1& w = Start();
  ExpectNoErrors();
  EXPECT_EQ(Captions(DefaultMode()), QStringList({"HELP", "FOAM_PLUG 1_0"}));
  EXPECT_EQ(Captions(Place(PowerUserPlace::PlugLevelIndependent)), QStringList({"FOAM_PLUG 1_0"}));
  EXPECT_EQ(Captions(Place(PowerUserPlace::MuffLevelDependent)), QStringList({"MUFF: D7"}));
  EXPECT_EQ(Captions(Place(PowerUserPlace::OtherPlugPlusMuff)), QStringList({"STACK"}));
  EXPECT_TRUE(Place(PowerUserPlace::OtherPlug)->actions().isEmpty());  // not "Nowhere"

  // A protector item records its catalogue index.
  Place(PowerUserPlace::OtherPlugPlusMuff)->actions().front()->trigger();
  EXPECT_EQ(w.ChosenProtector(), 2);
}

TEST_F(ProtectionMenuTest, UnreadableRecordsAreReportedTogetherAndTheRestLoad) {
  WriteCatalogue(Record("Good\t0.125\t8\t\tD\tx\tM") + Record("\t0.125\t8\t\tD\tx\tM") +
                 Record("Also good\t0.125\t8\t\tD\tx\tP"));
  Start();
  ASSERT_EQ(prompts_.Informations.size(), 1);
  EXPECT_TRUE(prompts_.Informations[0].contains("HPD Atten.txt"));
  EXPECT_EQ(Captions(DefaultMode()), QStringList({"HELP", "GOOD", "ALSO GOOD"}));
}

// Choosing a protector predicts the waveform under it: both questions, the plot, the overlay, the
// written file beside the input, and the fit stored only on first use.
TEST_F(ProtectionMenuTest, ProtectorItemPredictsTheWaveformUnderIt) {
  const fs::path input = In("RIFLE160.ORV");
  fs::copy(fs::path(ORVEK_TEST_DATA) / "RIFLE160.ORV", input);
  TForm1& w = Start();
  Open(input);
  QAction* muff = nullptr;
  for (QAction* item : DefaultMode()->actions())
    if (item->text() == "PASSIVE EARMUFF") muff = item;
  ASSERT_NE(muff, nullptr);
  const fs::path catalogue = folder_ / "startup" / "HPD Atten.txt";
  const std::string unfitted = Bytes(catalogue);

  // Eardrum accepted, angle 270 entered.
  prompts_.Answers = {Prompts::Answer::Yes, Prompts::Answer::No};
  prompts_.Texts = {QString("270")};
  muff->trigger();
  ExpectNoErrors();
  ASSERT_EQ(prompts_.Questions.size(), 2);
  EXPECT_TRUE(prompts_.Questions[0].contains("under this Muff is at the \r\nEardrum"));
  EXPECT_EQ(w.Parameters().CanalSourceGain, 0.0f);
  const fs::path output = In("RIFLE160_PASSIVE EARMUFF_270.ORV");
  const std::string fitted = Bytes(catalogue);
  EXPECT_NE(fitted, unfitted);
  // The file says where it was predicted; the record stays the free-field recording.
  const auto header = [](const fs::path& file) {
    TWaveform read(1 << 16);
    HeaderGrid grid;
    Lcg32 random;
    OpenNewFileType5(file, false, read, grid, random);
    return std::pair(read.MicLocation, read.Count());
  };
  EXPECT_EQ(header(output), std::pair(3, 8192));
  EXPECT_EQ(Cell(1, 3), "1");
  EXPECT_FALSE(w.gridView()->isVisible());  // the insertion-loss plot covers the grid's half

  // Second use, both defaults accepted at the entrance: no fit, the catalogue as it was.
  prompts_.Answers = {Prompts::Answer::No, Prompts::Answer::Yes};
  muff->trigger();
  ExpectNoErrors();
  EXPECT_EQ(Bytes(catalogue), fitted);
  EXPECT_EQ(w.Parameters().CanalSourceGain, 2.0f) << "accepting 90 degrees resets the gain";
  EXPECT_EQ(header(In("RIFLE160_PASSIVE EARMUFF_90.ORV")).first, 2);

  // A recording at the ear is refused.
  Open(output);
  muff->trigger();
  ASSERT_EQ(prompts_.Errors.size(), 1);
  EXPECT_TRUE(prompts_.Errors[0].contains("eardrum (microphone location 3)"));
  EXPECT_FALSE(fs::exists(In("RIFLE160_PASSIVE EARMUFF_270_PASSIVE EARMUFF_90.ORV")));
}

}  // namespace
}  // namespace orvek
