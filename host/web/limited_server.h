// The HTTP server with limits on each connection, so that no client can hold the server's threads.
// cpp-httplib hands each accepted connection to a thread of its pool, which then waits as long as
// the client takes: its only clock is a timeout for each read, so a client that sends one byte of
// its request every two seconds holds the thread for ever, and a handful of such clients hold
// them all. Here each connection's requests are read against deadlines instead:
// - the next request must start within `idle` of the last answer (or of the connection);
// - its head (request line and headers) must arrive within `head` of its first byte, and be at
//   most `head_bytes` long;
// - its head and body must arrive within `whole` of its first byte.
// A request that overruns a limit is answered 400 where it can still be, and its connection
// closed. No other server may listen on its port while it does. Answers go out at once
// (TCP_NODELAY): a kept-alive connection's next request would otherwise wait for the delayed
// acknowledgement of the last answer's end.
#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>

namespace host::web {

struct ConnectionLimits {
  std::chrono::milliseconds idle{3000};
  std::chrono::milliseconds head{3000};
  std::chrono::milliseconds whole{10000};
  std::size_t head_bytes = 64 * 1024;
  std::size_t requests_per_connection = 100;
  std::chrono::milliseconds idle_to_trim{1000};  // no new connection for this long: memory back
  std::chrono::milliseconds write_stall{5000};   // an answer the client takes nothing of
};

// The pool of threads that serve the connections. Each thread's allocations come from its own
// arena, which keeps what a burst of requests freed; once the server has been idle for a
// moment, the pool hands that memory back to the system, so a burst leaves no lasting growth.
class TrimmingThreadPool : public httplib::ThreadPool {
 public:
  explicit TrimmingThreadPool(std::size_t threads) : httplib::ThreadPool(threads) {}
  void enqueue(std::function<void()> fn) override;
  void on_idle() override;

 private:
  std::atomic<bool> served_since_trim_{false};
};

class LimitedServer : public httplib::Server {
 public:
  // Serves with a TrimmingThreadPool of `threads`.
  LimitedServer(const ConnectionLimits& limits, std::size_t threads);

  // After a bind: lets `connections` wait to be accepted. The library listens with room for 5,
  // and a connection that finds no room waits a second or more to try again: a burst of a few
  // clients at once would delay the pilot's own requests by seconds.
  void widen_backlog(int connections);

 private:
  // Called by the pool's thread for each accepted connection (in place of the library's own).
  bool process_and_close_socket(socket_t sock) override;

  ConnectionLimits limits_;
};

}  // namespace host::web
