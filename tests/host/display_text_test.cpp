// The display texts' in-place comparison (what `wait until text` asks every frame) against the
// conversion the messages and traces use, over every pair of bytes that matters and the UTF-8
// texts a scenario may expect: their own conversions, cut short, run on, and malformed.
#include "host/panel/display_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(DisplayText, InPlaceComparisonAgreesWithTheConversion) {
  const std::vector<unsigned char> bytes = {0x00, ' ', '0', 'N', 0x7F, 0x80, 0xB0, 0xC3, 0xFF};
  std::vector<std::string> shown = {""};
  for (unsigned char a : bytes) {
    shown.push_back(std::string(1, static_cast<char>(a)));
    for (unsigned char b : bytes) shown.push_back({static_cast<char>(a), static_cast<char>(b)});
  }
  std::vector<std::string> expected = {"", "\xC2", "\xC2\xB0", "\xC3\x83", "\xB0", "0\xC2"};
  for (const std::string& text : shown) {
    const std::string utf8 = host::latin1_to_utf8(text);
    expected.push_back(utf8);
    expected.push_back(utf8 + "x");
    if (!utf8.empty()) expected.push_back(utf8.substr(0, utf8.size() - 1));
  }
  int equal = 0;
  for (const std::string& text : shown) {
    for (const std::string& utf8 : expected) {
      const bool same = host::latin1_to_utf8(text) == utf8;
      equal += same ? 1 : 0;
      EXPECT_EQ(host::latin1_equals_utf8(text, utf8), same) << "bytes of " << text.size();
    }
  }
  EXPECT_GT(equal, 80);  // the sweep holds matches as well as mismatches
}

}  // namespace
