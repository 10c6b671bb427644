// The lines of FlightGear's replies, split from the bytes however they arrive in chunks: a line
// ends at "\n", a "\r" before it is dropped, a partial line waits for the rest. Bounded whatever
// the peer sends: the bytes are received straight into a buffer of fixed size, each byte is
// scanned once, and a line longer than MAX_LINE_BYTES is never held whole: it stops the reader.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace host::link {

class LineReader {
 public:
  // FlightGear's longest answer the link asks for is a number of about 20 characters.
  static constexpr std::size_t MAX_LINE_BYTES = 1024;

  // Where the next bytes received go (never empty while the lines that ended are taken out).
  std::span<char> space();
  // `count` bytes were written at the start of space().
  void received(std::size_t count);
  // Copies as much of `bytes` as space() takes; the count copied.
  std::size_t feed(std::string_view bytes);

  // The next whole line, if one has arrived (nothing once too_long()).
  std::optional<std::string> next_line();
  // A line has passed MAX_LINE_BYTES: nothing more is read from this stream.
  bool too_long() const { return too_long_; }
  // Bytes received and not yet given out as a line.
  std::size_t waiting() const { return end_ - start_; }
  // The first of them, for a message.
  std::string_view waiting_bytes() const { return {buffer_.data() + start_, end_ - start_}; }
  void clear();

 private:
  std::array<char, 4 * MAX_LINE_BYTES> buffer_{};
  std::size_t start_ = 0;    // the first byte not given out
  std::size_t scanned_ = 0;  // bytes before it hold no line end past start_
  std::size_t end_ = 0;      // bytes received
  bool too_long_ = false;
};

}  // namespace host::link
