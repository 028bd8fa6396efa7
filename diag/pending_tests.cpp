// Test bodies not written yet: each runs between the start and end sequences
// and does nothing. Remove an entry here when its group file defines it.
#include "frame.h"

namespace vorndiag {

void test_pos(const TestArgs &) {}
void test_servo(const TestArgs &) {}
void test_servof(const TestArgs &) {}
void test_limit(const TestArgs &) {}
void test_home(const TestArgs &) {}
void test_index(const TestArgs &) {}
void test_latch(const TestArgs &) {}
void test_indexres(const TestArgs &) {}
void test_rate(const TestArgs &) {}
void test_spindle(const TestArgs &) {}
void test_dio(const TestArgs &) {}
void test_diocontinuous(const TestArgs &) {}
void test_bus(const TestArgs &) {}
void test_commtest(const TestArgs &) {}

} // namespace vorndiag
