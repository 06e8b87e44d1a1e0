#include <algorithm>

#include "fetch/fetch.h"

namespace qorvex {

void FetchRecord::WriteText(std::string_view text) {
  // A text ends at its first zero byte; anything after it would break the field that follows.
  text = text.substr(0, std::min(text.size(), text.find('\0')));
  data_.insert(data_.end(), text.begin(), text.end());
  data_.push_back(0);
}

void FetchRecord::WriteBytes(const ByteBuffer& bytes) {
  const uint32_t length = static_cast<uint32_t>(bytes.size());
  for (int shift = 0; shift < 32; shift += 8) {
    data_.push_back(static_cast<unsigned char>(length >> shift));
  }
  data_.insert(data_.end(), bytes.begin(), bytes.end());
}

Text FetchRecord::ReadText() {
  if (position_ >= data_.size()) return {};
  const auto begin = data_.begin() + static_cast<std::ptrdiff_t>(position_);
  const auto zero = std::find(begin, data_.end(), 0);
  if (zero == data_.end()) {
    position_ = data_.size();
    return {};
  }
  Text text(begin, zero);
  position_ = static_cast<size_t>(zero - data_.begin()) + 1;
  return text;
}

ByteBuffer FetchRecord::ReadBytes() {
  if (data_.size() - std::min(position_, data_.size()) < 4) {
    position_ = data_.size();
    return {};
  }
  uint32_t length = 0;
  for (int i = 3; i >= 0; --i)
    length = (length << 8) | data_[position_ + i];
  if (data_.size() - position_ - 4 < length) {
    position_ = data_.size();
    return {};
  }
  const auto begin = data_.begin() + static_cast<std::ptrdiff_t>(position_ + 4);
  ByteBuffer bytes(begin, begin + length);
  position_ += 4 + length;
  return bytes;
}

void FetchRecord::Clear() {
  data_.clear();
  position_ = 0;
}

}  // namespace qorvex
