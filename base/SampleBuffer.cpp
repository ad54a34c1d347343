#include "base/SampleBuffer.h"

#include <utility>

#include "base/LargePages.h"

namespace orvek {
namespace {

std::size_t Bytes(std::int32_t count) { return static_cast<std::size_t>(count) * sizeof(float); }

}  // namespace

SampleBuffer::SampleBuffer(std::int32_t count) : count_(count > 0 ? count : 0) {
  if (count_ > 0) data_ = static_cast<float*>(AllocateLargePages(Bytes(count_)));
}

SampleBuffer::~SampleBuffer() { FreeLargePages(data_, Bytes(count_)); }

SampleBuffer::SampleBuffer(SampleBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), count_(std::exchange(other.count_, 0)) {}

SampleBuffer& SampleBuffer::operator=(SampleBuffer&& other) noexcept {
  if (this != &other) {
    FreeLargePages(data_, Bytes(count_));
    data_ = std::exchange(other.data_, nullptr);
    count_ = std::exchange(other.count_, 0);
  }
  return *this;
}

}  // namespace orvek
