// The protector catalogue as pop-up menu items, and the protector help picture.
#include <gtest/gtest.h>

#include <QMouseEvent>

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
    return window_->PowerUserMenus[static_cast<int>(place)];
  }
};

TEST_F(ProtectionMenuTest, RecordsGoToTheirModesAndPlacesWithTheirCaptions) {
  WriteCatalogue(Record("Foam-plug 1.0\t0.125\t8\t\tD\tx\tP") +
                 Record("Muff\t0.125\t8\t\tPD7\tx\tq") + Record("Stack\t0.125\t8\t\tP\tx\tOD") +
                 Record("Nowhere\t0.125\t8\t\tP\tx\tZ"));
  TForm1& w = Start();
  EXPECT_TRUE(prompts_.Errors.isEmpty()) << prompts_.Errors.join("\n").toStdString();
  EXPECT_EQ(Captions(w.DefaultModeMenu), QStringList({"HELP", "FOAM_PLUG 1_0"}));
  EXPECT_EQ(Captions(Place(PowerUserPlace::PlugLevelIndependent)), QStringList({"FOAM_PLUG 1_0"}));
  EXPECT_EQ(Captions(Place(PowerUserPlace::MuffLevelDependent)), QStringList({"MUFF: D7"}));
  EXPECT_EQ(Captions(Place(PowerUserPlace::OtherPlugPlusMuff)), QStringList({"STACK"}));
  for (const PowerUserPlace empty :
       {PowerUserPlace::PlugLevelDependent, PowerUserPlace::MuffLevelIndependent,
        PowerUserPlace::PlugPlusMuff, PowerUserPlace::OtherPlug, PowerUserPlace::OtherMuff})
    EXPECT_TRUE(Place(empty)->actions().isEmpty());

  // A protector item records its catalogue index.
  Place(PowerUserPlace::OtherPlugPlusMuff)->actions().front()->trigger();
  EXPECT_EQ(w.SelectedProtector, 2);
}

TEST_F(ProtectionMenuTest, UnreadableRecordsAreReportedTogetherAndTheRestLoad) {
  WriteCatalogue(Record("Good\t0.125\t8\t\tD\tx\tM") + Record("\t0.125\t8\t\tD\tx\tM") +
                 Record("Also good\t0.125\t8\t\tD\tx\tP"));
  TForm1& w = Start();
  ASSERT_EQ(prompts_.Informations.size(), 1);
  EXPECT_TRUE(prompts_.Informations[0].contains("HPD Atten.txt"));
  EXPECT_EQ(Captions(w.DefaultModeMenu), QStringList({"HELP", "GOOD", "ALSO GOOD"}));
}

TEST_F(ProtectionMenuTest, TheShippedCatalogueFillsEveryPlace) {
  TForm1& w = Start();
  EXPECT_TRUE(prompts_.Informations.isEmpty());
  EXPECT_GT(w.DefaultModeMenu->actions().size(), 1);
  for (int place = 1; place < 9; ++place)
    EXPECT_FALSE(w.PowerUserMenus[place]->actions().isEmpty()) << place;
}

TEST_F(ProtectionMenuTest, HelpShowsThePictureUntilTheNextMousePress) {
  TForm1& w = Start();
  const QImage before = w.canvas()->Image().copy();
  w.DefaultModeMenu->actions().front()->trigger();  // "HELP"
  EXPECT_TRUE(w.HelpPictureShown);
  EXPECT_NE(w.canvas()->Image(), before);
  const QPointF at(10, 10);
  QMouseEvent press(QEvent::MouseButtonPress, at, w.canvas()->mapToGlobal(at), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w.canvas(), &press);
  EXPECT_FALSE(w.HelpPictureShown);
  EXPECT_EQ(w.canvas()->Image(), before);
}

}  // namespace
}  // namespace orvek
