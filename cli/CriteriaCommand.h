#pragma once
#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>

#include "cli/FileAnalysis.h"
#include "metrics/ImpulseCriteria.h"

// `orvek-cli criteria` (AddCriteriaCommand, cli/Command.h): the impulse criteria of an ORV file,
// which `batch` and `compare` report too.
namespace orvek::cli {

// The criteria of samples first..last of the record as read (default: the whole record), as
// {"file","first","last","lpk_db", ... "allowed","verdicts":[{"rule","limit_db","exceeded"}],
// "notes":[...]}. Levels are rounded to 0.01 dB, times to 0.001 ms, the dose and the allowed
// number to 4 significant digits; a value the record does not define is null and a note says why.
nlohmann::ordered_json CriteriaJson(const std::filesystem::path& file, const OpenedWaveform& opened,
                                    std::optional<std::int32_t> first,
                                    std::optional<std::int32_t> last);

// The criteria of the record's samples as they stand (the whole record).
ImpulseCriteria CriteriaOf(const TWaveform& w);

// The keys of CriteriaJson that `batch` adds to its rows, in their order.
inline constexpr const char* kCriteriaColumns[] = {
    "lpk_db",        "lpk_true_db",   "lcpeak_db", "lcpeak_true_db", "peak_time_ms",
    "a_duration_ms", "b_duration_ms", "lae_db",    "liaeq100ms_db",  "a_duration_corrected_ms",
    "liaeq8hr_db",   "dose_percent",  "allowed"};

// A level rounded to 0.01 dB, or null.
nlohmann::ordered_json LevelJson(const std::optional<double>& db);

}  // namespace orvek::cli
