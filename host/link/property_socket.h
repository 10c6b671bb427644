// A TCP connection to FlightGear's telnet property server, with a deadline on everything: the
// connect, each write and each line read. POSIX sockets; nothing here ever blocks longer than
// it is told.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "host/link/flightgear_properties.h"

namespace host::link {

class PropertySocket {
 public:
  PropertySocket() = default;
  ~PropertySocket() { close(); }
  PropertySocket(const PropertySocket&) = delete;
  PropertySocket& operator=(const PropertySocket&) = delete;

  // Connects to HOST:PORT (a name or an address) within `timeout`; on failure an error says
  // why ("connection refused") and the socket stays closed.
  bool connect(const std::string& host, int port, std::chrono::milliseconds timeout,
               std::string& error);
  // Writes all of `bytes` within `timeout`.
  bool send_all(const std::string& bytes, std::chrono::milliseconds timeout, std::string& error);
  // Reads `count` whole lines, all of them within `timeout`.
  bool read_lines(std::size_t count, std::chrono::milliseconds timeout,
                  std::vector<std::string>& lines, std::string& error);
  void close();
  bool open() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
  LineReader reader_;
};

}  // namespace host::link
