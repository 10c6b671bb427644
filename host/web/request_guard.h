// Who may use the web panel. The server listens on loopback, but every web page the pilot has open
// in the same browser can reach loopback too: it can send requests (an <img>, a form, a fetch),
// and a page whose own name it rebinds to 127.0.0.1 is even answered as if it were the panel's.
// So, before anything else:
// - the Host a request names must be an address the server is reached at, with its port (a
//   rebound name is refused: 421);
// - a request that changes something (any method but GET, HEAD and OPTIONS) must carry the header
//   X-INS-Panel, which a page of another origin can send only after a preflight the server never
//   grants (it sends no CORS header), and an Origin, when present, must be the panel's own (403);
// - an event stream is for the panel's own page only (each holds one of the server's threads),
//   and a request must prove it comes from there: the header X-INS-Panel (a fetch of the page),
//   or the server's stream token in its query (an EventSource, which sends no header of its
//   own). A page of another origin can send neither: a no-cors fetch carries no custom header,
//   and the token comes from GET /api/stream-token, whose reply no other origin can read (the
//   server grants no CORS, and a rebound name is refused by the Host check);
// - Host and Origin are compared whole, byte for byte (a NUL and anything after it included);
// - a request with more headers than any browser sends (431) or with several ranges (416: a
//   range each of the whole file would multiply the reply) is refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace httplib {
struct Request;
}

namespace host::web {

// The header the panel's page puts on every request that changes something.
inline constexpr const char* PANEL_REQUEST_HEADER = "X-INS-Panel";
inline constexpr std::size_t MAX_REQUEST_HEADERS = 100;

struct Refusal {
  int status = 403;
  std::string message;
};

class RequestGuard {
 public:
  // `address` as given to listen on, `port` as bound. A wildcard address (0.0.0.0, ::) is reached
  // at every address of the machine's interfaces and by its host name.
  RequestGuard(const std::string& address, int port);

  // Why the request is refused, or nothing when it may go on to its handler.
  std::optional<Refusal> check(const httplib::Request& request) const;

  // What a request for an event stream may carry in its query (`token`) instead of the header:
  // random, made when the server starts, handed out by GET /api/stream-token.
  const std::string& stream_token() const { return stream_token_; }

  // The Host values the server answers ("127.0.0.1:8080", "localhost:8080", "[::1]:8080", ...).
  const std::vector<std::string>& hosts() const { return hosts_; }
  bool is_own_host(const std::string& host) const;
  bool is_own_origin(const std::string& origin) const;

 private:
  bool proves_own_page(const httplib::Request& request) const;

  std::vector<std::string> hosts_;  // lower case
  std::string stream_token_;
};

}  // namespace host::web
