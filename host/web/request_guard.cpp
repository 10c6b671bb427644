#include "host/web/request_guard.h"

#include <httplib.h>
#include <ifaddrs.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <random>

namespace host::web {

namespace {

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// An address as it stands in a Host header: IPv6 in brackets.
std::string host_form(const std::string& address) {
  return address.find(':') != std::string::npos ? "[" + address + "]" : address;
}

bool is_wildcard(const std::string& address) {
  return address.empty() || address == "0.0.0.0" || address == "::";
}

// Every address of the machine's interfaces, and its host name: what a client on another machine
// types to reach a server that listens on all of them.
std::vector<std::string> machine_names() {
  std::vector<std::string> names;
  ifaddrs* interfaces = nullptr;
  if (getifaddrs(&interfaces) == 0) {
    for (const ifaddrs* i = interfaces; i != nullptr; i = i->ifa_next) {
      if (i->ifa_addr == nullptr) continue;
      const int family = i->ifa_addr->sa_family;
      if (family != AF_INET && family != AF_INET6) continue;
      char text[NI_MAXHOST];
      const socklen_t size = family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
      if (getnameinfo(i->ifa_addr, size, text, sizeof text, nullptr, 0, NI_NUMERICHOST) == 0) {
        const std::string address = text;
        if (address.find('%') == std::string::npos) names.push_back(address);  // no link-local
      }
    }
    freeifaddrs(interfaces);
  }
  char host_name[256] = {};
  if (gethostname(host_name, sizeof host_name - 1) == 0 && host_name[0] != '\0') {
    names.emplace_back(host_name);
  }
  return names;
}

// Every value of a header, whole: the library's own getter ends a value at its first NUL.
std::vector<std::string> header_values(const httplib::Request& request, const char* name) {
  std::vector<std::string> values;
  const auto [first, last] = request.headers.equal_range(name);
  for (auto it = first; it != last; ++it) values.push_back(it->second);
  return values;
}

// 128 random bits as hexadecimal.
std::string random_token() {
  std::random_device source;
  std::string token;
  constexpr const char* HEX = "0123456789abcdef";
  for (int i = 0; i < 4; ++i) {
    const std::uint32_t word = source();
    for (int shift = 28; shift >= 0; shift -= 4) token.push_back(HEX[(word >> shift) & 0xF]);
  }
  return token;
}

// Compares in a time that does not depend on where the texts first differ.
bool same_secret(const std::string& given, const std::string& secret) {
  if (given.size() != secret.size()) return false;
  unsigned char difference = 0;
  for (std::size_t i = 0; i < secret.size(); ++i) {
    difference |= static_cast<unsigned char>(given[i] ^ secret[i]);
  }
  return difference == 0;
}

bool changes_something(const std::string& method) {
  return method != "GET" && method != "HEAD" && method != "OPTIONS";
}

}  // namespace

RequestGuard::RequestGuard(const std::string& address, int port) : stream_token_(random_token()) {
  std::vector<std::string> names = {"127.0.0.1", "localhost", "::1"};
  if (is_wildcard(address)) {
    for (const std::string& name : machine_names()) names.push_back(name);
  } else {
    names.push_back(address);
  }
  for (const std::string& name : names) {
    const std::string host = lower(host_form(name));
    // A Host without a port means the scheme's own, 80.
    for (const std::string& form : {host + ":" + std::to_string(port), port == 80 ? host : ""}) {
      if (!form.empty() && std::find(hosts_.begin(), hosts_.end(), form) == hosts_.end()) {
        hosts_.push_back(form);
      }
    }
  }
}

bool RequestGuard::is_own_host(const std::string& host) const {
  return std::find(hosts_.begin(), hosts_.end(), lower(host)) != hosts_.end();
}

bool RequestGuard::is_own_origin(const std::string& origin) const {
  const std::string scheme = "http://";
  const std::string text = lower(origin);
  return text.rfind(scheme, 0) == 0 && is_own_host(text.substr(scheme.size()));
}

bool RequestGuard::proves_own_page(const httplib::Request& request) const {
  return request.has_header(PANEL_REQUEST_HEADER) ||
         (request.has_param("token") &&
          same_secret(request.get_param_value("token"), stream_token_));
}

std::optional<Refusal> RequestGuard::check(const httplib::Request& request) const {
  const std::vector<std::string> host = header_values(request, "Host");
  if (host.size() != 1 || !is_own_host(host.front())) {
    return Refusal{421, "this server answers only to its own address (" + hosts_.front() + ")"};
  }
  if (request.headers.size() > MAX_REQUEST_HEADERS) {
    return Refusal{431, "more than " + std::to_string(MAX_REQUEST_HEADERS) + " headers"};
  }
  const std::vector<std::string> origin = header_values(request, "Origin");
  const bool has_origin = !origin.empty();
  const bool own_origin = origin.size() == 1 && is_own_origin(origin.front());
  if (changes_something(request.method)) {
    if (has_origin && !own_origin) return Refusal{403, "requests from another site are refused"};
    if (!request.has_header(PANEL_REQUEST_HEADER)) {
      return Refusal{403, std::string("a request that changes the panel must carry the header ") +
                              PANEL_REQUEST_HEADER + " (the panel's page sends it)"};
    }
  }
  const bool stream = request.path == "/api/stream" || request.path == "/api/stream-token";
  if (stream && ((has_origin && !own_origin) || !proves_own_page(request))) {
    return Refusal{403, std::string("the panel's stream is for the panel's own page (send the "
                                    "header ") +
                            PANEL_REQUEST_HEADER + ", or ?token= from /api/stream-token)"};
  }
  if (request.ranges.size() > 1) return Refusal{416, "one range at a time"};
  return std::nullopt;
}

}  // namespace host::web
