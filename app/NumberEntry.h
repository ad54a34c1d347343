#pragma once
#include <QString>
#include <optional>
#include <string>

#include "app/Prompts.h"

namespace orvek {

// Completes typed text as the number boxes do before converting it: ".5" -> "0.5" and
// "-.5" -> "-0.5" in both boxes; in the real-number box also "e3" -> "1.0e3" and "-e3" -> "-1.0e3".
std::string CompleteNumberText(std::string text, bool realNumber);

// The value of typed text when the box accepts it: a whole number (integer box) or a finite
// number (real box) inside the inclusive bounds, after completion and trimming blanks.
std::optional<int> AcceptInteger(const std::string& text, int low, int high);
std::optional<double> AcceptFloat(const std::string& text, double low, double high);

// Modal number boxes that repeat until an in-range value is typed; Cancel returns the default text
// (the current value), which is then treated like typed text.
int InputInteger(Prompts& prompts, const QString& prompt, int low, int high, int value);
float InputFloat(Prompts& prompts, const QString& prompt, float value, float low, float high);

}  // namespace orvek
