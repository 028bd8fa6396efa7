// The bus paths of the fast loops: each operation makes exactly the port
// accesses of its prescribed sequence, with and without a timeout pending,
// and none allocates on the heap. The servo loop's cost as two driver calls
// is checked in tests/drivers; here every operation the benchmarks report is
// held to the counts in their shared table.
#include "alloc_count.h"
#include "null_port.h"
#include "operations.h"
#include "stdout_to_null.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace {

using vorn::measure::Answers;
using vorn::measure::NullPort;
using vorn::measure::Operation;
using vorn::measure::StdoutToNull;
using vorn::measure::Timeout;

// Enough runs for commtest to print its summary line twice.
constexpr int kRuns = 2000;

class Cost : public testing::TestWithParam<Operation> {};

TEST_P(Cost, PortAccessesAsPrescribed) {
  const Operation &op = GetParam();
  StdoutToNull quiet;
  NullPort clear(Timeout::clear);
  clear.install();
  op.run();
  EXPECT_EQ(clear.accesses(), op.accesses) << "no timeout pending";
  NullPort pending(Timeout::pending);
  pending.install();
  op.run();
  EXPECT_EQ(pending.accesses(), op.accesses_pending) << "a timeout pending at every check";
}

// On an empty bus commtest reports every axis; with the preset echoed it
// reports nothing but the summary.
TEST_P(Cost, NoHeapAllocation) {
  const Operation &op = GetParam();
  StdoutToNull quiet;
  for (Answers answers : {Answers::empty_bus, Answers::preset_echo}) {
    NullPort port(Timeout::clear, answers);
    port.install();
    op.run(); // standard output's buffer comes with its first use
    const unsigned long long before = vorn_allocations();
    for (int i = 0; i < kRuns; ++i)
      op.run();
    EXPECT_EQ(vorn_allocations() - before, 0u)
        << (answers == Answers::empty_bus ? "empty bus" : "preset echoed");
  }
}

INSTANTIATE_TEST_SUITE_P(Bus, Cost, testing::ValuesIn(vorn::measure::operations()),
                         [](const auto &info) { return std::string(info.param.name); });

// Without this the checks above could pass on a counter that sees nothing.
TEST(AllocationCount, SeesMallocAndOperatorNew) {
  const unsigned long long before = vorn_allocations();
  void *volatile block = std::malloc(16);
  std::free(block);
  auto number = std::make_unique<int>(7);
  int *volatile seen = number.get();
  (void)seen;
  EXPECT_EQ(vorn_allocations() - before, 2u);
}

} // namespace
