#pragma once
#include <cstddef>
#include <cstdint>

namespace orvek {

// A fixed-size, zero-filled array of single-precision samples. Allocated once and never resized;
// pages are committed lazily by the kernel, so a large capacity costs nothing until it is used.
class SampleBuffer {
 public:
  explicit SampleBuffer(std::int32_t count);
  ~SampleBuffer();
  SampleBuffer(const SampleBuffer&) = delete;
  SampleBuffer& operator=(const SampleBuffer&) = delete;
  SampleBuffer(SampleBuffer&& other) noexcept;
  SampleBuffer& operator=(SampleBuffer&& other) noexcept;

  std::int32_t size() const { return count_; }
  float* data() { return data_; }
  const float* data() const { return data_; }
  float& operator[](std::int32_t i) { return data_[i]; }
  float operator[](std::int32_t i) const { return data_[i]; }
  float* begin() { return data_; }
  float* end() { return data_ + count_; }
  const float* begin() const { return data_; }
  const float* end() const { return data_ + count_; }

 private:
  float* data_ = nullptr;
  std::int32_t count_ = 0;
};

}  // namespace orvek
