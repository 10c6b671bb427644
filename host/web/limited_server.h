// The HTTP server with limits on each connection, so that no client can hold the server's threads.
// cpp-httplib hands each accepted connection to a thread of its pool, which then waits as long as
// the client takes: its only clock is a timeout for each read, so a client that sends one byte of
// its request every two seconds holds the thread for ever, a handful of such clients hold them
// all, and idle connections queue up in front of the pilot's. Here:
// - a connection holds a thread only while a request of it is under way: between requests (and
//   before its first) it waits in a waiting room that one thread watches for all of them, and
//   goes back to the pool when its next request begins to arrive; one that sends nothing within
//   `idle` is closed, and when more than `idle_connections` wait, the one waiting longest is
//   closed early (a browser opens a new one when it needs it);
// - a request's head (request line and headers) must arrive within `head` of its first byte, and
//   be at most `head_bytes` long; head and body must arrive within `whole`;
// - a body may be at most `body_bytes` long, chunked or not: it is refused (413) as it passes
//   that, never read further;
// - a head the library cannot read gets one answer (400) and its connection is closed; a
//   Content-Length must be digits only and given once (`head_fault`), and a request with
//   neither it nor a chunked body has none;
// - at most `queued_connections` ready connections wait for a thread: past that, a connection is
//   answered 503 at once and closed, so that whatever is queued starts within one request's
//   deadline;
// - one address other than loopback may hold at most `connections_per_address` connections
//   (503 past it). Loopback is not capped: every program of the pilot's machine, the pilot's
//   browser too, shares 127.0.0.1, and a cap would lock the pilot out with the crowd.
// A request that overruns a limit is answered 400 (413 for a body) where it can still be, and
// its connection closed; so is one a handler asks to close (`close_after_reply`). No other
// server may listen on its port while it does. Answers go out at once (TCP_NODELAY): a
// kept-alive connection's next request would otherwise wait for the delayed acknowledgement of
// the last answer's end.
#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace host::web {

struct ConnectionLimits {
  std::chrono::milliseconds idle{3000};
  std::chrono::milliseconds head{3000};
  std::chrono::milliseconds whole{10000};
  std::size_t head_bytes = 64 * 1024;
  std::size_t body_bytes = 512 * 1024;
  std::size_t requests_per_connection = 100;
  std::size_t queued_connections = 24;
  std::size_t idle_connections = 512;
  std::size_t connections_per_address = 32;
  std::chrono::milliseconds idle_to_trim{1000};  // no new connection for this long: memory back
  std::chrono::milliseconds write_stall{5000};   // an answer the client takes nothing of
  std::chrono::milliseconds linger{500};         // a refused body drained before the close
};

// For a request's handlers, about the connection the request came on (the calling thread's):
// ends the connection once the reply is sent, so that a body never read is never taken for a
// request of its own.
void close_after_reply();
// True when the request's body was refused for passing ConnectionLimits::body_bytes.
bool body_over_limit();
// Why the request's head cannot be taken as it stands (a Content-Length that is not digits
// only, or given twice), for a handler to answer 400 with before anything else; the
// connection then ends.
std::optional<std::string> head_fault();

// One accepted connection, as it goes between the pool and the waiting room.
struct Connection {
  int fd = -1;
  std::string counted_address;  // its address when counted against the per-address cap
  std::size_t requests_left = 0;
};

class WaitingRoom;

// The pool of threads that serve the connections. Each thread's allocations come from its own
// arena, which keeps what a burst of requests freed; once the server has been idle for a
// moment, the pool hands that memory back to the system, so a burst leaves no lasting growth.
// A connection the library has just accepted is not queued: `enqueue` runs its job at once on
// the accepting thread, which only places it in the waiting room. Connections whose request has
// begun come through `enqueue_ready`: when more than `max_queued` of them would wait beyond
// the threads free to take them, the job runs at once on the caller's thread marked as refused
// (`refusing_busy`), and the connection is answered 503 and closed without waiting.
class TrimmingThreadPool : public httplib::ThreadPool {
 public:
  TrimmingThreadPool(std::size_t threads, std::size_t max_queued,
                     std::function<void()> before_shutdown);
  void enqueue(std::function<void()> fn) override;
  void enqueue_ready(std::function<void()> fn);
  void on_idle() override;
  void shutdown() override;

  // True on a thread that runs a job refused for a full queue.
  static bool refusing_busy();

 private:
  std::size_t threads_;
  std::size_t max_queued_;
  std::function<void()> before_shutdown_;
  std::atomic<std::size_t> queued_{0};   // jobs waiting for a thread
  std::atomic<std::size_t> running_{0};  // jobs a thread runs
  std::atomic<bool> served_since_trim_{false};
};

class LimitedServer : public httplib::Server {
 public:
  // Serves with a TrimmingThreadPool of `threads`.
  LimitedServer(const ConnectionLimits& limits, std::size_t threads);
  ~LimitedServer() override;

  // After a bind: lets `connections` wait to be accepted. The library listens with room for 5,
  // and a connection that finds no room waits a second or more to try again: a burst of a few
  // clients at once would delay the pilot's own requests by seconds.
  void widen_backlog(int connections);

 private:
  // Called on the accepting thread for each accepted connection (in place of the library's
  // own): admits it to the waiting room, or refuses it.
  bool process_and_close_socket(socket_t sock) override;
  // Serves the requests of a connection until it waits for the next one (then parked in the
  // waiting room) or ends.
  void serve(Connection connection);
  // Hands a connection whose next request has begun to arrive back to the pool.
  void resume(Connection connection);
  // Answers 503 without waiting for anything, and closes.
  void refuse_busy(Connection& connection, const char* why);
  void end_connection(Connection& connection);
  // Counts the connection against its address's cap; false when the cap is reached.
  bool admit(Connection& connection);

  ConnectionLimits limits_;
  TrimmingThreadPool* pool_ = nullptr;  // owned by the library's listen loop
  std::unique_ptr<WaitingRoom> waiting_room_;
  std::mutex addresses_mutex_;
  std::map<std::string, std::size_t> connections_by_address_;
};

}  // namespace host::web
