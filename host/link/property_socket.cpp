#include "host/link/property_socket.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace host::link {

namespace {

using Clock = std::chrono::steady_clock;

int remaining_ms(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// Waits for `events` on `fd` until `deadline`: true when ready, false on timeout or error.
bool wait_for(int fd, short events, Clock::time_point deadline, std::string& error) {
  for (;;) {
    pollfd entry{fd, events, 0};
    const int ready = ::poll(&entry, 1, remaining_ms(deadline));
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

}  // namespace

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

bool PropertySocket::read_lines(std::size_t count, std::chrono::milliseconds timeout,
                                std::vector<std::string>& lines, std::string& error) {
  lines.clear();
  if (fd_ < 0) {
    error = "not connected";
    return false;
  }
  const auto deadline = Clock::now() + timeout;
  while (lines.size() < count) {
    if (auto line = reader_.next_line()) {
      lines.push_back(std::move(*line));
      continue;
    }
    if (!wait_for(fd_, POLLIN, deadline, error)) return false;
    char chunk[4096];
    const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
    if (n > 0) {
      reader_.feed(std::string_view(chunk, static_cast<std::size_t>(n)));
    } else if (n == 0) {
      error = "FlightGear closed the connection";
      return false;
    } else if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
      error = std::strerror(errno);
      return false;
    }
  }
  return true;
}

void PropertySocket::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  reader_.clear();
}

}  // namespace host::link
