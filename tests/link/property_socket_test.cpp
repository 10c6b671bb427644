// The link's socket against a peer over a real TCP connection: a batch's reply is placed only
// when it is exactly what was asked for, and nothing the peer does holds a read past its
// deadline or a stop.
#include "host/link/property_socket.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace host::link {
namespace {

using std::chrono::milliseconds;

// A listening socket on 127.0.0.1 and the one connection the link makes to it.
class Peer {
 public:
  Peer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length);
    ::listen(listener_, 1);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~Peer() {
    if (connection_ >= 0) ::close(connection_);
    ::close(listener_);
  }
  void connect(PropertySocket& socket) {
    std::string error;
    ASSERT_TRUE(socket.connect("127.0.0.1", port_, milliseconds(2000), error)) << error;
    connection_ = ::accept(listener_, nullptr, nullptr);
    ASSERT_GE(connection_, 0);
  }
  bool send(const std::string& bytes) const {
    return ::send(connection_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
  }
  void close() {
    ::close(connection_);
    connection_ = -1;
  }

 private:
  int listener_ = -1;
  int connection_ = -1;
  int port_ = 0;
};

TEST(PropertySocket, AReplyIsPlacedOnlyWhenItIsWhatWasAskedFor) {
  const std::string long_line(LineReader::MAX_LINE_BYTES + 1, '2');
  struct Case {
    const char* name;
    std::string sent;
    const char* error;  // "" when the reply is placed
  };
  const Case cases[] = {
      {"the reply", "21.3\r\nfalse\r\n/\r\n", ""},
      {"in bare newlines", "21.3\nfalse\n/\n", ""},
      {"a line more", "21.3\r\nfalse\r\n-0.5\r\n/\r\n",
       "FlightGear sent a line not asked for (\"-0.5\" after the 2 lines of a batch)"},
      {"a line less", "21.3\r\n/\r\n", "FlightGear ended a batch's reply after 1 of its 2 lines"},
      {"a line after the end", "21.3\r\nfalse\r\n/\r\n-0.5\r\n",
       "FlightGear sent bytes not asked for after the batch's reply (\"-0.5\")"},
      {"an over-long line", "21.3\r\n" + long_line + "\r\nfalse\r\n/\r\n",
       "a line longer than 1024 bytes"},
      {"no end", "21.3\r\nfalse\r\n", "no answer within the time allowed"},
  };
  for (const Case& c : cases) {
    Peer peer;
    PropertySocket socket;
    peer.connect(socket);
    ASSERT_TRUE(peer.send(c.sent));
    std::vector<std::string> lines;
    std::string error;
    const bool placed = socket.read_reply(2, "/", milliseconds(300), lines, error);
    EXPECT_EQ(placed, *c.error == '\0') << c.name << ": " << error;
    if (placed) {
      EXPECT_EQ(lines, (std::vector<std::string>{"21.3", "false"})) << c.name;
    }
    EXPECT_NE(error.find(c.error), std::string::npos) << c.name << ": " << error;
  }
}

TEST(PropertySocket, APeerThatNeverStopsSendingEndsTheRead) {
  // Sent without end while the link reads: bytes without a newline, and lines.
  const std::string floods[] = {std::string(65536, '7'), "7\r\n"};
  const char* errors[] = {"a line longer than", "a line not asked for"};
  for (int i = 0; i < 2; ++i) {
    Peer peer;
    PropertySocket socket;
    peer.connect(socket);
    std::atomic<bool> done = false;
    std::thread flood([&] {
      while (!done && peer.send(floods[i])) {
      }
    });
    std::vector<std::string> lines;
    std::string error;
    EXPECT_FALSE(socket.read_reply(20, "/", milliseconds(60000), lines, error));
    EXPECT_NE(error.find(errors[i]), std::string::npos) << error;
    done = true;
    socket.close();  // (the flood's send fails)
    flood.join();
  }
}

TEST(PropertySocket, InterruptEndsAWaitAtOnce) {
  Peer peer;
  PropertySocket socket;
  peer.connect(socket);
  ASSERT_TRUE(peer.send("21.3\r\n"));  // a reply begun, and no more of it
  std::thread stopper([&] {
    std::this_thread::sleep_for(milliseconds(100));
    socket.interrupt();
  });
  std::vector<std::string> lines;
  std::string error;
  // A minute allowed: only the interrupt ends it before.
  EXPECT_FALSE(socket.read_reply(2, "/", milliseconds(60000), lines, error));
  EXPECT_EQ(error, "the link is stopping");
  stopper.join();
  // And every wait after it.
  EXPECT_FALSE(socket.read_reply(2, "/", milliseconds(60000), lines, error));
  EXPECT_EQ(error, "the link is stopping");
}

}  // namespace
}  // namespace host::link
