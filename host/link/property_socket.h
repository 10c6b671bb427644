// A TCP connection to FlightGear's telnet property server, with a deadline on everything: the
// connect, each write and each batch's reply, however the peer sends (or does not). POSIX
// sockets; nothing here ever blocks longer than it is told, and interrupt() ends any wait at
// once, from any thread.
#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "host/link/line_reader.h"

namespace host::link {

class PropertySocket {
 public:
  PropertySocket();
  ~PropertySocket();
  PropertySocket(const PropertySocket&) = delete;
  PropertySocket& operator=(const PropertySocket&) = delete;

  // Connects to HOST:PORT (a name or an address) within `timeout`; on failure an error says
  // why ("connection refused") and the socket stays closed.
  bool connect(const std::string& host, int port, std::chrono::milliseconds timeout,
               std::string& error);
  // Writes all of `bytes` within `timeout`.
  bool send_all(const std::string& bytes, std::chrono::milliseconds timeout, std::string& error);
  // Reads the reply to one batch within `timeout`: `count` lines, then the line `end`, and
  // nothing after it. Anything else (a line more or less, bytes after the end, a line longer
  // than LineReader::MAX_LINE_BYTES, the deadline) fails with an error saying what came: the
  // connection is out of step then, and only a new one is in step again.
  bool read_reply(std::size_t count, std::string_view end, std::chrono::milliseconds timeout,
                  std::vector<std::string>& lines, std::string& error);
  void close();
  bool open() const { return fd_ >= 0; }

  // Ends the wait in progress and every later one with an error (the link is stopping).
  // Safe from any thread.
  void interrupt();

 private:
  // Waits for `events` on the socket until `deadline`: true when ready; false on timeout,
  // error or interrupt(), with `error` saying which.
  bool wait_for(int fd, short events, std::chrono::steady_clock::time_point deadline,
                std::string& error) const;

  int fd_ = -1;
  int wake_fd_ = -1;  // an eventfd that interrupt() makes readable
  LineReader reader_;
};

}  // namespace host::link
