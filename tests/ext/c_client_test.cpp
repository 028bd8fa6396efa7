// The C client links against the library and sees the same objects as C++.
#include "c_client.h"

#include "vorn.h"

#include <gtest/gtest.h>

namespace {

TEST(ExtFromC, SwitchReadsGiveTheFixedStates) {
  int states[3] = {5, 5, 5};
  c_client_switches(42, states);
  EXPECT_EQ(states[0], 0);
  EXPECT_EQ(states[1], 0);
  EXPECT_EQ(states[2], 1);
}

TEST(ExtFromC, SharesTheBaseAddressWithCxx) {
  EXPECT_EQ(c_client_base_addr(), 0x378u);
  vorn_base_addr = 0x2F8;
  EXPECT_EQ(c_client_base_addr(), 0x2F8u);
}

TEST(ExtFromC, AssemblesCountsLikeCxx) {
  struct Case {
    uint8_t b[4];
    int32_t count;
  };
  const Case cases[] = {{{0x05, 0x02, 0x00, 0x00}, 517},
                        {{0x00, 0x00, 0xC0, 0xFF}, -4194304},
                        {{0xFF, 0xFF, 0xFF, 0x7F}, INT32_MAX},
                        {{0x00, 0x00, 0x00, 0x80}, INT32_MIN},
                        {{0xFF, 0xFF, 0xFF, 0xFF}, -1}};
  for (const Case &c : cases)
    EXPECT_EQ(c_client_count(c.b[0], c.b[1], c.b[2], c.b[3]), c.count);
}

} // namespace
