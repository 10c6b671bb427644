#include "host/link/property_socket.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "host/link/flightgear_properties.h"

namespace host::link {

namespace {

using Clock = std::chrono::steady_clock;

int remaining_ms(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

std::string whole_seconds(std::chrono::milliseconds timeout) {
  return std::to_string((timeout.count() + 999) / 1000) + " s";
}

}  // namespace

PropertySocket::PropertySocket() : wake_fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

PropertySocket::~PropertySocket() {
  close();
  if (wake_fd_ >= 0) ::close(wake_fd_);
}

void PropertySocket::interrupt() {
  const uint64_t one = 1;
  if (wake_fd_ >= 0) (void)!::write(wake_fd_, &one, sizeof one);
}

bool PropertySocket::wait_for(int fd, short events, Clock::time_point deadline,
                              std::string& error) const {
  for (;;) {
    pollfd entries[2] = {{fd, events, 0}, {wake_fd_, POLLIN, 0}};
    const int ready = ::poll(entries, wake_fd_ >= 0 ? 2 : 1, remaining_ms(deadline));
    if (ready > 0 && entries[1].revents != 0) {
      error = "the link is stopping";
      return false;
    }
    if (ready > 0) return true;
    if (ready == 0) {
      error = "no answer within the time allowed";
      return false;
    }
    if (errno != EINTR) {
      error = std::strerror(errno);
      return false;
    }
  }
}

bool PropertySocket::connect(const std::string& host, int port, std::chrono::milliseconds timeout,
                             std::string& error) {
  close();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int lookup = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (lookup != 0) {
    error = "cannot find " + host + ": " + ::gai_strerror(lookup);
    return false;
  }
  const auto deadline = Clock::now() + timeout;
  error = "no address";
  for (addrinfo* a = found; a != nullptr && fd_ < 0; a = a->ai_next) {
    const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
      error = std::strerror(errno);
      continue;
    }
    int connected = ::connect(fd, a->ai_addr, a->ai_addrlen);
    if (connected != 0 && errno == EINPROGRESS && wait_for(fd, POLLOUT, deadline, error)) {
      int status = 0;
      socklen_t length = sizeof status;
      ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &status, &length);
      connected = status == 0 ? 0 : -1;
      if (status != 0) error = std::strerror(status);
    } else if (connected != 0 && errno != EINPROGRESS) {
      error = std::strerror(errno);
    }
    if (connected == 0) {
      const int on = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      fd_ = fd;
    } else {
      ::close(fd);
    }
  }
  ::freeaddrinfo(found);
  reader_.clear();
  return fd_ >= 0;
}

bool PropertySocket::send_all(const std::string& bytes, std::chrono::milliseconds timeout,
                              std::string& error) {
  if (fd_ < 0) {
    error = "not connected";
    return false;
  }
  const auto deadline = Clock::now() + timeout;
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!wait_for(fd_, POLLOUT, deadline, error)) return false;
    } else if (n < 0 && errno != EINTR) {
      error = std::strerror(errno);
      return false;
    }
  }
  return true;
}

bool PropertySocket::read_reply(std::size_t count, std::string_view end,
                                std::chrono::milliseconds timeout, std::vector<std::string>& lines,
                                std::string& error) {
  lines.clear();
  if (fd_ < 0) {
    error = "not connected";
    return false;
  }
  // One deadline for the whole reply, looked at before every receive: a peer that never stops
  // sending keeps the socket ready, and must not keep the read going.
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    while (auto line = reader_.next_line()) {
      if (*line == end && lines.size() == count) {
        if (reader_.waiting() == 0) return true;
        const std::string_view rest = reader_.waiting_bytes();
        error = "FlightGear sent bytes not asked for after the batch's reply (" +
                shown(rest.substr(0, rest.find_first_of("\r\n"))) + ")";
        return false;
      }
      if (*line == end) {
        error = "FlightGear ended a batch's reply after " + std::to_string(lines.size()) +
                " of its " + std::to_string(count) + " lines";
        return false;
      }
      if (lines.size() == count) {
        error = "FlightGear sent a line not asked for (" + shown(*line) + " after the " +
                std::to_string(count) + " lines of a batch)";
        return false;
      }
      lines.push_back(std::move(*line));
    }
    if (reader_.too_long()) {
      error = "FlightGear sent a line longer than " + std::to_string(LineReader::MAX_LINE_BYTES) +
              " bytes (" + shown(reader_.waiting_bytes()) + ")";
      return false;
    }
    if (Clock::now() >= deadline) {
      error = "no whole reply within " + whole_seconds(timeout);
      return false;
    }
    if (!wait_for(fd_, POLLIN, deadline, error)) return false;
    const std::span<char> space = reader_.space();
    const ssize_t n = ::recv(fd_, space.data(), space.size(), 0);
    if (n > 0) {
      reader_.received(static_cast<std::size_t>(n));
    } else if (n == 0) {
      error = "FlightGear closed the connection";
      return false;
    } else if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
      error = std::strerror(errno);
      return false;
    }
  }
}

void PropertySocket::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  reader_.clear();
}

}  // namespace host::link
