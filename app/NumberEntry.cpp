#include "app/NumberEntry.h"

#include <charconv>
#include <cmath>

namespace orvek {
namespace {

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// The whole text must be the number: a leading "+" is allowed, nothing may follow.
template <typename T>
std::optional<T> ParseWhole(std::string text) {
  if (StartsWith(text, "+")) text.erase(0, 1);
  T value{};
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || text.empty()) return std::nullopt;
  return value;
}

// Shows the box until `accept` takes the text; Cancel stands for the default text.
template <typename Accept>
auto AskUntilAccepted(Prompts& prompts, const QString& caption, const QString& prompt,
                      const QString& defaultText, Accept accept) {
  for (;;) {
    const QString typed = prompts.InputText(caption, prompt, defaultText).value_or(defaultText);
    if (const auto value = accept(typed.toStdString())) return *value;
  }
}

}  // namespace

std::string CompleteNumberText(std::string text, bool realNumber) {
  text = Trim(text);
  if (StartsWith(text, ".")) return "0" + text;
  if (StartsWith(text, "-.")) return "-0" + text.substr(1);
  if (!realNumber) return text;
  if (StartsWith(text, "e") || StartsWith(text, "E")) return "1.0" + text;
  if (StartsWith(text, "-e") || StartsWith(text, "-E")) return "-1.0" + text.substr(1);
  return text;
}

std::optional<int> AcceptInteger(const std::string& text, int low, int high) {
  const auto value = ParseWhole<int>(CompleteNumberText(text, false));
  if (!value || *value < low || *value > high) return std::nullopt;
  return value;
}

std::optional<double> AcceptFloat(const std::string& text, double low, double high) {
  const auto value = ParseWhole<double>(CompleteNumberText(text, true));
  if (!value || !std::isfinite(*value) || *value < low || *value > high) return std::nullopt;
  return value;
}

int InputInteger(Prompts& prompts, const QString& prompt, int low, int high, int value) {
  const QString text = prompt + " from " + QString::number(low) + " to " + QString::number(high);
  return AskUntilAccepted(
      prompts, "ENTER INTEGER", text, QString::number(value),
      [&](const std::string& typed) { return AcceptInteger(typed, low, high); });
}

float InputFloat(Prompts& prompts, const QString& prompt, float value, float low, float high) {
  const QString text =
      prompt + " from " + QString::number(low, 'f', 3) + " to " + QString::number(high, 'f', 3);
  const std::string defaultText = QString::number(value, 'f', 3).toStdString();
  // The default text stands for the current value itself, so a value that its three decimals
  // would round out of range is still kept by Cancel.
  return static_cast<float>(AskUntilAccepted(
      prompts, "ENTER FLOAT POINT NUMBER", text, QString::fromStdString(defaultText),
      [&](const std::string& typed) {
        if (typed != defaultText) return AcceptFloat(typed, low, high);
        return value >= low && value <= high ? std::optional<double>(value) : std::nullopt;
      }));
}

}  // namespace orvek
