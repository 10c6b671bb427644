// The link's line reader holds at most one line of a reply, whatever the peer sends.
#include "host/link/line_reader.h"

#include <gtest/gtest.h>

#include <string>

namespace host::link {
namespace {

TEST(LineReader, BytesWithoutANewlineStopItAtTheLineLimit) {
  LineReader reader;
  const std::string flood(700, '7');
  std::size_t taken = 0;
  while (!reader.too_long()) {
    ASSERT_FALSE(reader.space().empty()) << "after " << taken << " bytes";
    taken += reader.feed(flood);
    EXPECT_FALSE(reader.next_line());
    ASSERT_LE(taken, 4 * LineReader::MAX_LINE_BYTES) << "the reader kept on taking bytes";
  }
  EXPECT_GT(taken, LineReader::MAX_LINE_BYTES);
  // The end of the line, when it comes, does not make a line of it.
  reader.feed("\r\n1\r\n");
  EXPECT_FALSE(reader.next_line());
  EXPECT_TRUE(reader.too_long());
  reader.clear();
  reader.feed("1\r\n");
  EXPECT_EQ(reader.next_line(), "1");
}

TEST(LineReader, TheLongestLineReadsAndOneByteMoreDoesNot) {
  const std::string longest(LineReader::MAX_LINE_BYTES, '5');
  struct Case {
    std::string bytes;
    bool reads;
  };
  const Case cases[] = {
      {longest + "\r\n", true},
      {longest + "\n", true},
      {longest + "5\n", false},
      {longest + "5\r\n", false},
  };
  for (const Case& c : cases) {
    LineReader reader;
    // In two pieces, the end of the line in the second.
    reader.feed(std::string_view(c.bytes).substr(0, 600));
    EXPECT_FALSE(reader.next_line());
    reader.feed(std::string_view(c.bytes).substr(600));
    const auto line = reader.next_line();
    EXPECT_EQ(line.has_value(), c.reads) << c.bytes.size() << " bytes";
    EXPECT_EQ(reader.too_long(), !c.reads);
    if (line) {
      EXPECT_EQ(*line, longest);
    }
  }
}

TEST(LineReader, AStreamOfAnyLengthGoesThroughTheFixedBuffer) {
  // 200000 lines, received in chunks of whatever the buffer takes, come out whole and in
  // order: the buffer makes room as the lines are taken out.
  std::string stream;
  for (int i = 0; i < 200000; ++i) stream += std::to_string(i) + "\r\n";
  LineReader reader;
  std::string_view rest = stream;
  int next = 0;
  while (!rest.empty()) {
    const std::size_t taken = reader.feed(rest.substr(0, 3000));
    ASSERT_GT(taken, 0u) << "no room after line " << next;
    rest.remove_prefix(taken);
    while (auto line = reader.next_line()) {
      ASSERT_EQ(*line, std::to_string(next)) << "line " << next;
      ++next;
    }
  }
  EXPECT_EQ(next, 200000);
  EXPECT_EQ(reader.waiting(), 0u);
}

}  // namespace
}  // namespace host::link
