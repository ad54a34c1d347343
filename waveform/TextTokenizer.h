#pragma once
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace orvek {

// Bytes that separate the values of an imported text file: TAB, LF, CR, blank, comma and Ctrl-Z
// (the DOS end-of-file mark).
inline constexpr std::array<bool, 256> kValueSeparator = [] {
  std::array<bool, 256> separator{};
  for (const unsigned char c : {'\t', '\n', '\r', ' ', ',', '\x1a'}) separator[c] = true;
  return separator;
}();

// No number is this long; a longer token is cut here so that a runaway one cannot grow the carry
// buffer without bound.
inline constexpr std::size_t kLongestTextToken = 4096;

// Splits text fed in blocks of any size into tokens (the runs of bytes between separators) and
// numbers the lines they stand on: a line ends at LF, at CR, and at CR LF (counted once). Each
// complete token is passed to `sink(std::string_view token, std::int64_t line)`, so a token may
// straddle blocks; the view is valid during the call only. A token longer than kLongestTextToken
// bytes is passed as its first kLongestTextToken + 1 bytes, whatever the block sizes.
template <typename Sink>
class TextTokenizer {
 public:
  explicit TextTokenizer(Sink sink, std::int64_t firstLine = 1)
      : sink_(std::move(sink)), line_(firstLine) {
    carry_.reserve(kLongestTextToken + 1);
  }

  void Feed(const char* data, std::size_t size);
  // Passes the token the last block ended in.
  void Finish();
  // Line of the next byte to be fed: the first line plus the line ends fed so far.
  std::int64_t Line() const { return line_; }

 private:
  static bool IsSeparator(char c) { return kValueSeparator[static_cast<unsigned char>(c)]; }
  static const char* FindSeparator(const char* p, const char* end) {
    while (p != end && !IsSeparator(*p)) ++p;
    return p;
  }
  void CarryOn(const char* first, const char* last) {
    const std::size_t room = kLongestTextToken + 1 - carry_.size();
    carry_.append(first, std::min<std::size_t>(room, static_cast<std::size_t>(last - first)));
  }

  Sink sink_;
  std::int64_t line_;
  char previous_ = 0;  // last separator fed, to count CR LF once across block edges
  bool carrying_ = false;
  std::int64_t carryLine_ = 0;
  std::string carry_;  // start of a token that straddles blocks
};

template <typename Sink>
void TextTokenizer<Sink>::Feed(const char* data, std::size_t size) {
  const char* p = data;
  const char* const end = data + size;
  if (carrying_) {
    p = FindSeparator(p, end);
    CarryOn(data, p);
    if (p == end) return;
    carrying_ = false;
    sink_(std::string_view(carry_), carryLine_);
    carry_.clear();
  }
  while (true) {
    for (; p != end && IsSeparator(*p); ++p) {
      line_ += *p == '\r' || (*p == '\n' && previous_ != '\r');
      previous_ = *p;
    }
    if (p == end) return;
    previous_ = 0;
    const char* const start = p;
    p = FindSeparator(p, end);
    if (p == end) {
      carrying_ = true;
      carryLine_ = line_;
      CarryOn(start, end);
      return;
    }
    const auto length = static_cast<std::size_t>(p - start);
    sink_(std::string_view(start, std::min(length, kLongestTextToken + 1)), line_);
  }
}

template <typename Sink>
void TextTokenizer<Sink>::Finish() {
  if (!carrying_) return;
  carrying_ = false;
  sink_(std::string_view(carry_), carryLine_);
  carry_.clear();
}

}  // namespace orvek
