#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// Reads a fuzz input front to back; past the end every read gives zeros.
class ByteReader {
  public:
    ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return position_ >= size_; }
    std::size_t remaining() const { return empty() ? 0 : size_ - position_; }

    std::uint8_t next() { return empty() ? 0 : data_[position_++]; }

    // Up to `count` bytes; fewer when the input ends.
    std::vector<std::uint8_t> take(std::size_t count) {
        const std::span<const std::uint8_t> bytes = view(count);
        return {bytes.begin(), bytes.end()};
    }

    // The same bytes without a copy, valid as long as the input.
    std::span<const std::uint8_t> view(std::size_t count) {
        const std::size_t n = count < remaining() ? count : remaining();
        const std::span<const std::uint8_t> bytes(data_ + position_, n);
        position_ += n;
        return bytes;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};
