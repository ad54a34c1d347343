// The number boxes: completion of typed text, acceptance rules and the repeat-until-valid loop.
#include <gtest/gtest.h>

#include "app/NumberEntry.h"
#include "app/ScriptedPrompts.h"

namespace orvek {
namespace {

// Typed text and the value the box accepts (none: asked again); 2000.001 is above the bound.
TEST(NumberEntry, RealBoxCompletesAndAccepts) {
  const std::pair<const char*, std::optional<double>> cases[] = {{".5", 0.5},
                                                                 {"-e3", -1000.0},
                                                                 {"E2", 100.0},
                                                                 {" 12.5 ", 12.5},
                                                                 {"+7", 7.0},
                                                                 {"-2000", -2000.0},
                                                                 {"1e", std::nullopt},
                                                                 {"5 Pa", std::nullopt},
                                                                 {"nan", std::nullopt},
                                                                 {"inf", std::nullopt},
                                                                 {"2000.001", std::nullopt}};
  for (const auto& [typed, value] : cases)
    EXPECT_EQ(AcceptFloat(typed, -2000.0, 2000.0), value) << typed;
}

TEST(NumberEntry, IntegerBoxRefusesFractionsAndExponents) {
  const std::pair<const char*, std::optional<int>> cases[] = {
      {" 10 ", 10},         {"1", 1},
      {".5", std::nullopt}, {"2.0", std::nullopt},
      {"e3", std::nullopt}, {"11", std::nullopt}};
  for (const auto& [typed, value] : cases) EXPECT_EQ(AcceptInteger(typed, 1, 10), value) << typed;
}

TEST(NumberEntry, BoxesRepeatUntilAValueInRangeAndCancelKeepsTheValue) {
  ScriptedPrompts prompts;
  prompts.Texts = {QString("99"), QString("abc"), QString("4")};
  EXPECT_EQ(InputInteger(prompts, "Channel", 1, 8, 2), 4);
  EXPECT_EQ(prompts.InputPrompts.size(), 3);
  EXPECT_EQ(prompts.InputPrompts[0], "ENTER INTEGER|Channel from 1 to 8|2");

  prompts.Texts = {std::nullopt};
  EXPECT_EQ(InputInteger(prompts, "Channel", 1, 8, 2), 2);

  // Cancel keeps a value even when its three-decimal text would round out of range.
  prompts.Texts = {std::nullopt};
  EXPECT_FLOAT_EQ(InputFloat(prompts, "Gain", 2.00049f, 0.0f, 2.00049f), 2.00049f);
  prompts.Texts = {QString(".25")};
  EXPECT_FLOAT_EQ(InputFloat(prompts, "Gain", 1.0f, 0.0f, 2.0f), 0.25f);
  EXPECT_EQ(prompts.InputPrompts.back(), "ENTER FLOAT POINT NUMBER|Gain from 0.000 to 2.000|1.000");
}

}  // namespace
}  // namespace orvek
