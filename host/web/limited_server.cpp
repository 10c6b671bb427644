#include "host/web/limited_server.h"

#include <malloc.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <strings.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <optional>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

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

// A chunked body's size as its bytes pass (RFC 9112 7.1): the data of its chunks, without the
// size lines, extensions and trailers around them, so that a body sent in many small chunks is
// held to the same limit as one sent whole.
class ChunkedBodyMeter {
 public:
  explicit ChunkedBodyMeter(std::size_t limit) : limit_(limit) {}

  // Takes the next bytes of the body; false once the data passes the limit (a chunk that says
  // it would is refused at its size line).
  bool take(const char* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count && part_ != Part::Done; ++i) {
      if (part_ == Part::Data) {
        const std::size_t data = std::min(chunk_left_, count - i);
        chunk_left_ -= data;
        i += data - 1;
        if (chunk_left_ == 0) part_ = Part::AfterData;
        continue;
      }
      if (!take_framing(bytes[i])) return false;
    }
    return true;
  }

 private:
  enum class Part { Size, Extension, Data, AfterData, TrailerStart, Trailer, Done };

  bool take_framing(char c) {
    switch (part_) {
      case Part::Size:
        if (const int digit = hex_digit(c); digit >= 0) {
          chunk_size_ = chunk_size_ * 16 + static_cast<std::size_t>(digit);
          if (chunk_size_ > limit_ - data_) return false;
          return true;
        }
        [[fallthrough]];
      case Part::Extension:
        part_ = c == '\n' ? end_of_size_line() : Part::Extension;
        return true;
      case Part::AfterData:
        if (c == '\n') part_ = Part::Size;
        return true;
      case Part::TrailerStart:
        part_ = c == '\n' ? Part::Done : (c == '\r' ? Part::TrailerStart : Part::Trailer);
        return true;
      case Part::Trailer:
        if (c == '\n') part_ = Part::TrailerStart;
        return true;
      case Part::Data:
      case Part::Done:
        return true;
    }
    return true;
  }

  Part end_of_size_line() {
    const std::size_t size = std::exchange(chunk_size_, 0);
    if (size == 0) return Part::TrailerStart;
    data_ += size;
    chunk_left_ = size;
    return Part::Data;
  }

  static int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  std::size_t limit_;
  std::size_t data_ = 0;  // the data of the chunks announced so far
  std::size_t chunk_size_ = 0;
  std::size_t chunk_left_ = 0;
  Part part_ = Part::Size;
};

// One connection's bytes, read against the request's deadlines (see limited_server.h). The
// library reads a head a byte at a time, so the bytes come through a buffer, and the end of the
// head is seen as it is handed over: the first empty line (the library skips a line that does
// not end in CR LF, so "\n\r\n" ends the head whatever came before). What comes after the head
// is the body, held to its limit here, whatever the library would make of it.
class DeadlineStream final : public httplib::Stream {
 public:
  DeadlineStream(int fd, const ConnectionLimits& limits) : fd_(fd), limits_(limits) {}

  // True when bytes of a next request are here already, or arriving.
  bool request_waiting() const {
    pollfd entry{fd_, POLLIN, 0};
    return begin_ < end_ || ::poll(&entry, 1, 0) > 0;
  }

  // The next request's first byte is here: its deadlines start.
  void begin_request() {
    const auto first_byte = Clock::now();
    head_deadline_ = first_byte + limits_.head;
    whole_deadline_ = first_byte + limits_.whole;
    in_head_ = true;
    head_bytes_ = 0;
    line_end_seen_ = 0;
    body_.reset();
    body_refused_ = false;
    head_read_ = false;
    head_fault_.reset();
    body_absent_ = false;
  }

  // Once the head is read (the library's parse of it): holds the body to its limit, as the
  // library will read it. A head whose body length is unclear is refused (head_fault): the
  // library would read "25abc" or "+25" as 25, and one of two lengths, and the bytes it then
  // leaves, or takes, would be read as another request.
  void expect_body(const httplib::Request& request) {
    head_read_ = true;
    head_fault_ = content_length_fault(request);
    if (head_fault_) return;
    // The library reads a body as chunked exactly when its first Transfer-Encoding is this word.
    if (strcasecmp(request.get_header_value("Transfer-Encoding").c_str(), "chunked") == 0) {
      body_.emplace(limits_.body_bytes);
    } else if (!request.has_header("Content-Length")) {
      // A request with neither has no body (RFC 9112 6.3); the library would wait for the
      // connection's end, then answer a request that had none as one that could not be read.
      body_absent_ = true;
    } else if (request.get_header_value<uint64_t>("Content-Length") > limits_.body_bytes) {
      body_refused_ = true;  // the library refuses it too, but only after reading it all
    }
  }

  bool body_over_limit() const { return body_refused_; }
  const std::optional<std::string>& head_fault() const { return head_fault_; }
  void close_after_reply() { closing_ = true; }

  // The request overran a limit, its head was refused (by the library, as malformed, or for its
  // body's length), or a handler closes its connection: it ends here. What follows a head that
  // could not be read is no request of its own: answered line by line, one malformed request
  // would get an answer for each of its lines.
  bool ends() const { return overran_ || body_refused_ || closing_ || head_refused(); }
  // A request ended before its body was read: the client may be sending it still.
  bool body_left_unread() const { return body_refused_ || closing_ || head_refused(); }

  bool is_readable() const override {
    return begin_ < end_ || wait_until(fd_, POLLIN, deadline()) == Wait::Ready;
  }

  bool is_writable() const override {
    return wait_until(fd_, POLLOUT, Clock::now() + limits_.write_stall) == Wait::Ready;
  }

  ssize_t read(char* ptr, size_t size) override {
    if (body_refused_ || head_fault_) return -1;
    if (!in_head_ && body_absent_) return 0;
    if (begin_ == end_) {
      const ssize_t received = receive();
      if (received <= 0) return received;
    }
    std::size_t count = std::min(size, end_ - begin_);
    if (in_head_) {
      count = take_head_bytes(count);
    } else if (body_ && !body_->take(buffer_.data() + begin_, count)) {
      body_refused_ = true;
    }
    if (overran_ || body_refused_) return -1;
    std::copy_n(buffer_.data() + begin_, count, ptr);
    begin_ += count;
    return static_cast<ssize_t>(count);
  }

  ssize_t write(const char* ptr, size_t size) override {
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

  bool head_refused() const { return !head_read_ || head_fault_.has_value(); }

  // Why the request's Content-Length does not say its body's length: it must be given at most
  // once, as digits only.
  static std::optional<std::string> content_length_fault(const httplib::Request& request) {
    const std::size_t given = request.get_header_value_count("Content-Length");
    if (given > 1) {
      return "the request gives Content-Length " + std::to_string(given) +
             " times: give the body's length once";
    }
    const std::string length = request.get_header_value("Content-Length");
    if (given == 0 ||
        (!length.empty() && length.find_first_not_of("0123456789") == std::string::npos)) {
      return std::nullopt;
    }
    constexpr std::size_t SHOWN_BYTES = 40;
    std::string shown;
    for (char c : length.substr(0, SHOWN_BYTES)) shown += c >= 0x20 && c < 0x7f ? c : '?';
    return "Content-Length \"" + shown + (length.size() > SHOWN_BYTES ? "..." : "") +
           "\" is not a length: the body's length in bytes, digits only";
  }

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
  std::optional<ChunkedBodyMeter> body_;
  bool body_refused_ = false;
  bool head_read_ = false;  // the library read the request's head (else it refused it)
  std::optional<std::string> head_fault_;
  bool body_absent_ = false;
  bool overran_ = false;
  bool closing_ = false;
};

// The stream of the request the calling thread serves, for its handlers.
thread_local DeadlineStream* served_stream = nullptr;

// Marks the calling thread as running a job refused for a full queue.
thread_local bool refusing_for_full_queue = false;

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

bool is_loopback(const std::string& address) {
  return address.starts_with("127.") || address == "::1" || address.starts_with("::ffff:127.");
}

// Reads and drops what a client sends within `time`, or until it closes: the rest of a body
// that was refused, so that the close that follows does not reset the connection (a close with
// bytes unread does) and lose the refusal on its way to the client, which sends on until it
// reads it.
void drain(int fd, std::chrono::milliseconds time) {
  const auto deadline = Clock::now() + time;
  std::array<char, 64 * 1024> sink{};
  for (;;) {
    if (wait_until(fd, POLLIN, deadline) != Wait::Ready) return;
    const ssize_t received = ::recv(fd, sink.data(), sink.size(), MSG_DONTWAIT);
    if (received < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (received <= 0) return;
  }
}

}  // namespace

// The connections that wait for their next request (see limited_server.h): one thread watches
// them all (epoll) and hands each back to the pool as its next request begins to arrive, or
// closes it when its wait is over. Past its capacity the one waiting longest is closed.
class WaitingRoom {
 public:
  using Handler = std::function<void(Connection)>;

  WaitingRoom(std::size_t capacity, Handler ready, Handler close)
      : capacity_(capacity), ready_(std::move(ready)), close_(std::move(close)) {
    epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
    wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = wake_;
    ::epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &event);
    watcher_ = std::thread([this] { watch(); });
  }

  ~WaitingRoom() {
    stop();
    ::close(wake_);
    ::close(epoll_);
  }

  // Waits for the connection's next request until `deadline`.
  void park(Connection connection, Clock::time_point deadline) {
    std::vector<Connection> closed;
    {
      std::lock_guard lock(mutex_);
      if (stopped_) {
        closed.push_back(std::move(connection));
      } else {
        const int fd = connection.fd;
        epoll_event event{};
        event.events = EPOLLIN | EPOLLRDHUP;
        event.data.fd = fd;
        if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event) != 0) {
          closed.push_back(std::move(connection));
        } else {
          waiting_.insert_or_assign(fd, Waiting{std::move(connection), deadline});
          if (waiting_.size() > capacity_) closed.push_back(take(longest_waiting()));
        }
      }
    }
    for (Connection& c : closed) close_(std::move(c));
  }

  // Closes every connection that waits, and returns once the watching thread has ended.
  void stop() {
    {
      std::lock_guard lock(mutex_);
      if (stopped_) return;
      stopped_ = true;
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wake_, &one, sizeof one);
    watcher_.join();
    std::vector<Connection> closed;
    {
      std::lock_guard lock(mutex_);
      while (!waiting_.empty()) closed.push_back(take(waiting_.begin()->first));
    }
    for (Connection& c : closed) close_(std::move(c));
  }

 private:
  struct Waiting {
    Connection connection;
    Clock::time_point deadline;
  };

  void watch() {
    std::array<epoll_event, 64> events{};
    for (;;) {
      const int count = ::epoll_wait(epoll_, events.data(), static_cast<int>(events.size()),
                                     static_cast<int>(WAIT_SLICE.count()));
      std::vector<Connection> ready;
      std::vector<Connection> expired;
      {
        std::lock_guard lock(mutex_);
        if (stopped_) return;
        for (int i = 0; i < count; ++i) {
          // An event of a connection closed meanwhile finds it gone (or, its number taken
          // again, a connection that then waits once more: harmless).
          if (waiting_.contains(events[i].data.fd)) ready.push_back(take(events[i].data.fd));
        }
        const auto now = Clock::now();
        for (auto it = waiting_.begin(); it != waiting_.end();) {
          const int fd = it->first;
          ++it;
          if (waiting_.at(fd).deadline <= now) expired.push_back(take(fd));
        }
      }
      for (Connection& c : ready) ready_(std::move(c));
      for (Connection& c : expired) close_(std::move(c));
    }
  }

  int longest_waiting() const {
    return std::min_element(
               waiting_.begin(), waiting_.end(),
               [](const auto& a, const auto& b) { return a.second.deadline < b.second.deadline; })
        ->first;
  }

  // Takes a connection out of the room (the lock held).
  Connection take(int fd) {
    ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
    Connection connection = std::move(waiting_.at(fd).connection);
    waiting_.erase(fd);
    return connection;
  }

  std::size_t capacity_;
  Handler ready_;
  Handler close_;
  int epoll_ = -1;
  int wake_ = -1;
  std::mutex mutex_;
  std::map<int, Waiting> waiting_;  // by socket
  bool stopped_ = false;
  std::thread watcher_;
};

void close_after_reply() {
  if (served_stream != nullptr) served_stream->close_after_reply();
}

bool body_over_limit() {
  return served_stream != nullptr && served_stream->body_over_limit();
}

std::optional<std::string> head_fault() {
  return served_stream != nullptr ? served_stream->head_fault() : std::nullopt;
}

TrimmingThreadPool::TrimmingThreadPool(std::size_t threads, std::size_t max_queued,
                                       std::function<void()> before_shutdown)
    : httplib::ThreadPool(threads),
      threads_(threads),
      max_queued_(max_queued),
      before_shutdown_(std::move(before_shutdown)) {}

void TrimmingThreadPool::enqueue(std::function<void()> fn) {
  served_since_trim_ = true;
  fn();
}

void TrimmingThreadPool::enqueue_ready(std::function<void()> fn) {
  const std::size_t free_threads = threads_ - std::min(threads_, running_.load());
  if (queued_.fetch_add(1) >= max_queued_ + free_threads) {
    queued_.fetch_sub(1);
    refusing_for_full_queue = true;
    fn();
    refusing_for_full_queue = false;
    return;
  }
  httplib::ThreadPool::enqueue([this, fn = std::move(fn)] {
    ++running_;
    queued_.fetch_sub(1);
    fn();
    --running_;
  });
}

void TrimmingThreadPool::on_idle() {
  if (served_since_trim_.exchange(false)) malloc_trim(0);
}

void TrimmingThreadPool::shutdown() {
  if (before_shutdown_) before_shutdown_();
  httplib::ThreadPool::shutdown();
}

bool TrimmingThreadPool::refusing_busy() {
  return refusing_for_full_queue;
}

LimitedServer::LimitedServer(const ConnectionLimits& limits, std::size_t threads)
    : limits_(limits) {
  new_task_queue = [this, threads] {
    waiting_room_ = std::make_unique<WaitingRoom>(
        limits_.idle_connections, [this](Connection c) { resume(std::move(c)); },
        [this](Connection c) { end_connection(c); });
    pool_ = new TrimmingThreadPool(threads, limits_.queued_connections,
                                   [this] { waiting_room_->stop(); });
    return pool_;
  };
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

LimitedServer::~LimitedServer() {
  if (waiting_room_) waiting_room_->stop();
}

void LimitedServer::widen_backlog(int connections) {
  // listen() on a socket that listens already sets its backlog anew.
  if (svr_sock_ != INVALID_SOCKET) ::listen(svr_sock_, connections);
}

bool LimitedServer::process_and_close_socket(socket_t sock) {
  const int on = 1;
  ::setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  Connection connection{sock, "", limits_.requests_per_connection};
  if (!admit(connection)) {
    refuse_busy(connection, "too many connections from this address");
  } else {
    waiting_room_->park(std::move(connection), Clock::now() + limits_.idle);
  }
  return true;
}

void LimitedServer::resume(Connection connection) {
  // Through the pool, whose queue may be full: then the job runs here, refused.
  pool_->enqueue_ready([this, connection = std::move(connection)]() mutable {
    if (TrimmingThreadPool::refusing_busy()) {
      refuse_busy(connection, "the server is busy: try again in a moment");
    } else {
      serve(std::move(connection));
    }
  });
}

void LimitedServer::serve(Connection connection) {
  DeadlineStream stream(connection.fd, limits_);
  served_stream = &stream;
  while (connection.requests_left > 0) {
    if (svr_sock_ == INVALID_SOCKET) break;  // the server stops
    if (!stream.request_waiting()) {
      // Nothing of the next request yet: the connection waits without a thread.
      served_stream = nullptr;
      release_unused_stack();
      waiting_room_->park(std::move(connection), Clock::now() + limits_.idle);
      return;
    }
    stream.begin_request();
    bool closed = false;
    const bool last = --connection.requests_left == 0;
    const bool answered = process_request(
        stream, last, closed, [&stream](httplib::Request& req) { stream.expect_body(req); });
    if (!answered || closed || stream.ends()) break;
  }
  served_stream = nullptr;
  ::shutdown(connection.fd, SHUT_WR);
  if (stream.body_left_unread()) drain(connection.fd, limits_.linger);
  end_connection(connection);
  release_unused_stack();
}

void LimitedServer::refuse_busy(Connection& connection, const char* why) {
  // What the client sent so far is read first: a close with unread bytes would reset the
  // connection, and the client might lose the answer.
  std::array<char, 16 * 1024> sink{};
  while (::recv(connection.fd, sink.data(), sink.size(), MSG_DONTWAIT) > 0) {
  }
  const std::string body = std::string(R"({"error": ")") + why + "\"}";
  const std::string reply =
      "HTTP/1.1 503 Service Unavailable\r\nContent-Type: application/json\r\n"
      "Content-Length: " +
      std::to_string(body.size()) + "\r\nRetry-After: 1\r\nConnection: close\r\n\r\n" + body;
  [[maybe_unused]] const ssize_t sent =
      ::send(connection.fd, reply.data(), reply.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
  ::shutdown(connection.fd, SHUT_WR);
  end_connection(connection);
}

bool LimitedServer::admit(Connection& connection) {
  std::string address;
  int port = 0;
  numeric_address(connection.fd, ::getpeername, address, port);
  if (address.empty() || is_loopback(address)) return true;
  std::lock_guard lock(addresses_mutex_);
  std::size_t& open = connections_by_address_[address];
  if (open >= limits_.connections_per_address) {
    if (open == 0) connections_by_address_.erase(address);
    return false;
  }
  ++open;
  connection.counted_address = address;
  return true;
}

void LimitedServer::end_connection(Connection& connection) {
  if (!connection.counted_address.empty()) {
    std::lock_guard lock(addresses_mutex_);
    auto it = connections_by_address_.find(connection.counted_address);
    if (it != connections_by_address_.end() && --it->second == 0) {
      connections_by_address_.erase(it);
    }
    connection.counted_address.clear();
  }
  if (connection.fd >= 0) ::close(connection.fd);
  connection.fd = -1;
}

}  // namespace host::web
