#include "host/web/limited_server.h"

#include <malloc.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <string_view>

namespace host::web {

namespace {

using Clock = std::chrono::steady_clock;

// The longest a wait runs before it looks whether the server is stopping.
constexpr std::chrono::milliseconds WAIT_SLICE{100};

enum class Wait { Ready, TimedOut, Failed };

// Waits until `fd` is ready for `events` or `deadline` passes.
Wait wait_until(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return Wait::TimedOut;
    pollfd entry{fd, events, 0};
    const int ready = ::poll(&entry, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return Wait::Failed;
    if (ready == 0) return Wait::TimedOut;
    // A closed or failed connection reads as its end (recv gives 0 or an error); for writing it
    // is failed.
    if ((entry.revents & events) != 0) return Wait::Ready;
    return (events & POLLIN) != 0 ? Wait::Ready : Wait::Failed;
  }
}

// One end of a connection as numbers ("127.0.0.1", 8080): `which` is getpeername for the
// client's end, getsockname for the server's.
void numeric_address(int fd, int (*which)(int, sockaddr*, socklen_t*), std::string& ip, int& port) {
  sockaddr_storage address{};
  socklen_t size = sizeof address;
  char host[NI_MAXHOST] = {};
  char service[NI_MAXSERV] = {};
  ip.clear();
  port = -1;
  if (which(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
      getnameinfo(reinterpret_cast<const sockaddr*>(&address), size, host, sizeof host, service,
                  sizeof service, NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
    return;
  }
  ip = host;
  port = std::atoi(service);
}

// One connection's bytes, read against the request's deadlines (see limited_server.h). The
// library reads a head a byte at a time, so the bytes come through a buffer, and the end of the
// head is seen as it is handed over: the first empty line (the library skips a line that does
// not end in CR LF, so "\n\r\n" ends the head whatever came before).
class DeadlineStream final : public httplib::Stream {
 public:
  DeadlineStream(int fd, const ConnectionLimits& limits) : fd_(fd), limits_(limits) {}

  // Waits up to the idle time for the next request's first byte; false when none came, or the
  // server began to stop.
  bool wait_for_request(const std::atomic<socket_t>& listening) {
    if (begin_ == end_) {
      const auto deadline = Clock::now() + limits_.idle;
      Wait waited = Wait::TimedOut;
      while (waited == Wait::TimedOut && Clock::now() < deadline) {
        if (listening == INVALID_SOCKET) return false;
        waited = wait_until(fd_, POLLIN, std::min(deadline, Clock::now() + WAIT_SLICE));
      }
      if (waited != Wait::Ready) return false;
    }
    const auto first_byte = Clock::now();
    head_deadline_ = first_byte + limits_.head;
    whole_deadline_ = first_byte + limits_.whole;
    in_head_ = true;
    head_bytes_ = 0;
    line_end_seen_ = 0;
    return true;
  }

  // The request overran a limit, or its answer said the connection closes: it ends here.
  bool ends() const { return overran_ || closing_; }

  bool is_readable() const override {
    return begin_ < end_ || wait_until(fd_, POLLIN, deadline()) == Wait::Ready;
  }

  bool is_writable() const override {
    return wait_until(fd_, POLLOUT, Clock::now() + limits_.write_stall) == Wait::Ready;
  }

  ssize_t read(char* ptr, size_t size) override {
    if (begin_ == end_) {
      const ssize_t received = receive();
      if (received <= 0) return received;
    }
    std::size_t count = std::min(size, end_ - begin_);
    if (in_head_) count = take_head_bytes(count);
    if (overran_) return -1;
    std::copy_n(buffer_.data() + begin_, count, ptr);
    begin_ += count;
    return static_cast<ssize_t>(count);
  }

  ssize_t write(const char* ptr, size_t size) override {
    // A reply's head goes out in one write; one that says the connection closes (a refusal whose
    // body was never read) ends it.
    const std::string_view text(ptr, size);
    if (text.starts_with("HTTP/1.") &&
        text.substr(0, text.find("\r\n\r\n")).find("\r\nConnection: close\r\n") !=
            std::string_view::npos) {
      closing_ = true;
    }
    if (!is_writable()) return -1;
    ssize_t sent = 0;
    do {
      sent = ::send(fd_, ptr, size, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent;
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    numeric_address(fd_, ::getpeername, ip, port);
  }

  void get_local_ip_and_port(std::string& ip, int& port) const override {
    numeric_address(fd_, ::getsockname, ip, port);
  }

  socket_t socket() const override { return fd_; }

 private:
  Clock::time_point deadline() const { return in_head_ ? head_deadline_ : whole_deadline_; }

  // Fills the empty buffer: the count received, 0 at the connection's end, -1 on an error or
  // when the deadline passed (then `overran_`).
  ssize_t receive() {
    const Wait waited = wait_until(fd_, POLLIN, deadline());
    if (waited == Wait::TimedOut) overran_ = true;
    if (waited != Wait::Ready) return -1;
    ssize_t received = 0;
    do {
      received = ::recv(fd_, buffer_.data(), buffer_.size(), 0);
    } while (received < 0 && errno == EINTR);
    begin_ = 0;
    end_ = received > 0 ? static_cast<std::size_t>(received) : 0;
    return received;
  }

  // Of the next `count` bytes, those up to the head's end (all when it does not end among them);
  // marks the stream overrun when the head grows past its limit.
  std::size_t take_head_bytes(std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
      const char c = buffer_[begin_ + i];
      if (++head_bytes_ > limits_.head_bytes) {
        overran_ = true;
        return 0;
      }
      if (line_end_seen_ == 2 && c == '\n') {
        in_head_ = false;
        return i + 1;
      }
      line_end_seen_ = c == '\n' ? 1 : (line_end_seen_ == 1 && c == '\r' ? 2 : 0);
    }
    return count;
  }

  int fd_;
  ConnectionLimits limits_;
  std::array<char, 4096> buffer_{};
  std::size_t begin_ = 0;  // the next byte to hand over
  std::size_t end_ = 0;    // one past the last byte received
  Clock::time_point head_deadline_{};
  Clock::time_point whole_deadline_{};
  bool in_head_ = true;
  std::size_t head_bytes_ = 0;
  int line_end_seen_ = 0;  // 1 after "\n", 2 after "\n\r"
  bool overran_ = false;
  bool closing_ = false;
};

// Hands back to the system the pages of this thread's stack below the caller's frame, which no
// one uses once a connection is done. The library reads a Range header with a regular expression
// whose matching recurses once for each character: a long header takes megabytes of a thread's
// stack, and those pages would stay with the thread (32 threads, each once given such a header,
// would keep over a hundred megabytes).
void release_unused_stack() {
  pthread_attr_t attributes;
  if (pthread_getattr_np(pthread_self(), &attributes) != 0) return;
  void* lowest = nullptr;
  std::size_t size = 0;
  const bool known = pthread_attr_getstack(&attributes, &lowest, &size) == 0;
  pthread_attr_destroy(&attributes);
  if (!known) return;
  // Clear of this frame and of what madvise itself puts on the stack (the frames that called
  // this one lie above it and are not touched).
  constexpr std::uintptr_t MARGIN = 16 * 1024;
  const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  // This frame on the thread's own stack (a local's address could lie on a sanitizer's stack
  // kept elsewhere).
  const auto frame = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
  const auto bottom = reinterpret_cast<std::uintptr_t>(lowest);
  if (frame < bottom + MARGIN || frame > bottom + size) return;
  const auto low = (bottom + page - 1) & ~(page - 1);
  const auto high = (frame - MARGIN) & ~(page - 1);
  if (high > low) madvise(reinterpret_cast<void*>(low), high - low, MADV_DONTNEED);
}

}  // namespace

void TrimmingThreadPool::enqueue(std::function<void()> fn) {
  served_since_trim_ = true;
  httplib::ThreadPool::enqueue(std::move(fn));
}

void TrimmingThreadPool::on_idle() {
  if (served_since_trim_.exchange(false)) malloc_trim(0);
}

LimitedServer::LimitedServer(const ConnectionLimits& limits, std::size_t threads)
    : limits_(limits) {
  new_task_queue = [threads] { return new TrimmingThreadPool(threads); };
  // The accepting thread tells the pool when no connection came for this long.
  set_idle_interval(limits.idle_to_trim);
  // What the replies' Keep-Alive header tells clients.
  set_keep_alive_timeout(std::chrono::duration_cast<std::chrono::seconds>(limits.idle).count());
  set_keep_alive_max_count(limits.requests_per_connection);
  // The library's own options let a second server bind a port one listens on already
  // (SO_REUSEPORT), and the two share its connections. SO_REUSEADDR alone lets a server that
  // was just stopped start again on its port, and lets no other server on it while it listens.
  set_socket_options([](socket_t sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
  });
}

void LimitedServer::widen_backlog(int connections) {
  // listen() on a socket that listens already sets its backlog anew.
  if (svr_sock_ != INVALID_SOCKET) ::listen(svr_sock_, connections);
}

bool LimitedServer::process_and_close_socket(socket_t sock) {
  const int on = 1;
  ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  DeadlineStream stream(sock, limits_);
  bool answered = true;
  for (std::size_t left = limits_.requests_per_connection; left > 0; --left) {
    if (!stream.wait_for_request(svr_sock_)) break;
    bool closed = false;
    answered = process_request(stream, left == 1, closed, nullptr);
    if (!answered || closed || stream.ends()) break;
  }
  ::shutdown(sock, SHUT_RDWR);
  ::close(sock);
  release_unused_stack();
  return answered;
}

}  // namespace host::web
