#include "waveform/SampleBuffer.h"

#include <cstdlib>
#include <new>
#include <utility>

namespace orvek {

SampleBuffer::SampleBuffer(std::int32_t count) : count_(count > 0 ? count : 0) {
  if (count_ > 0) {
    data_ = static_cast<float*>(std::calloc(static_cast<std::size_t>(count_), sizeof(float)));
    if (!data_) throw std::bad_alloc();
  }
}

SampleBuffer::~SampleBuffer() { std::free(data_); }

SampleBuffer::SampleBuffer(SampleBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), count_(std::exchange(other.count_, 0)) {}

SampleBuffer& SampleBuffer::operator=(SampleBuffer&& other) noexcept {
  if (this != &other) {
    std::free(data_);
    data_ = std::exchange(other.data_, nullptr);
    count_ = std::exchange(other.count_, 0);
  }
  return *this;
}

}  // namespace orvek
