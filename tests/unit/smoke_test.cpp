#include <gtest/gtest.h>

#include "module/gauge_api.h"

TEST(Module, LinkageListsTwentyGauges) {
  int count = 0;
  while (Linkage.gauges[count] != nullptr) ++count;
  EXPECT_EQ(count, 20);
}
