#include "host/link/line_reader.h"

#include <cstring>

namespace host::link {

std::span<char> LineReader::space() {
  // What is left of the lines given out makes room at the front: at most one partial line (no
  // longer than MAX_LINE_BYTES) moves, so most of the buffer is free after it.
  if (start_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + start_, end_ - start_);
    end_ -= start_;
    scanned_ -= start_;
    start_ = 0;
  }
  return {buffer_.data() + end_, buffer_.size() - end_};
}

void LineReader::received(std::size_t count) {
  end_ += count;
}

std::size_t LineReader::feed(std::string_view bytes) {
  const std::span<char> free = space();
  const std::size_t count = std::min(free.size(), bytes.size());
  std::memcpy(free.data(), bytes.data(), count);
  received(count);
  return count;
}

std::optional<std::string> LineReader::next_line() {
  if (too_long_) return std::nullopt;
  const void* found = std::memchr(buffer_.data() + scanned_, '\n', end_ - scanned_);
  if (found == nullptr) {
    scanned_ = end_;
    // (A "\r" may still come before the "\n".)
    too_long_ = end_ - start_ > MAX_LINE_BYTES + 1;
    return std::nullopt;
  }
  const std::size_t stop =
      static_cast<std::size_t>(static_cast<const char*>(found) - buffer_.data());
  std::size_t length = stop - start_;
  if (length > 0 && buffer_[stop - 1] == '\r') --length;
  if (length > MAX_LINE_BYTES) {
    too_long_ = true;
    return std::nullopt;
  }
  std::string line(buffer_.data() + start_, length);
  start_ = scanned_ = stop + 1;
  return line;
}

void LineReader::clear() {
  start_ = scanned_ = end_ = 0;
  too_long_ = false;
}

}  // namespace host::link
