// The number boxes: completion of typed text, acceptance rules and the repeat-until-valid loop.
#include <gtest/gtest.h>

#include "app/NumberEntry.h"
#include "app/ScriptedPrompts.h"

namespace orvek {
namespace {

TEST(NumberEntry, RealBoxCompletesAndAccepts) {
  struct Case {
    const char* typed;
    std::optional<double> value;
  };
  const Case cases[] = {
      {".5", 0.5},           {"-.5", -0.5},         {"e3", 1000.0},
      {"E2", 100.0},         {"-e3", -1000.0},      {"-E1", -10.0},
      {" 12.5 ", 12.5},      {"+7", 7.0},           {"1e", std::nullopt},
      {"abc", std::nullopt}, {"", std::nullopt},    {"5 Pa", std::nullopt},
      {"inf", std::nullopt}, {"nan", std::nullopt}, {"2000.001", std::nullopt},  // above the bound
  };
  for (const Case& c : cases) {
    const auto value = AcceptFloat(c.typed, -2000.0, 2000.0);
    ASSERT_EQ(value.has_value(), c.value.has_value()) << c.typed;
    if (value) {
      EXPECT_DOUBLE_EQ(*value, *c.value) << c.typed;
    }
  }
  EXPECT_TRUE(AcceptFloat("-2000", -2000.0, 2000.0));  // bounds are inclusive
}

TEST(NumberEntry, IntegerBoxRefusesFractionsAndExponents) {
  struct Case {
    const char* typed;
    std::optional<int> value;
  };
  const Case cases[] = {{"3", 3},
                        {" 10 ", 10},
                        {"1", 1},
                        {".5", std::nullopt},
                        {"2.0", std::nullopt},
                        {"e3", std::nullopt},
                        {"0", std::nullopt},
                        {"11", std::nullopt},
                        {"x", std::nullopt}};
  for (const Case& c : cases) EXPECT_EQ(AcceptInteger(c.typed, 1, 10), c.value) << c.typed;
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
