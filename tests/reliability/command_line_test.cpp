// The command line fed seeded random arguments: any count, any bytes (but
// NUL, which argv cannot hold). Every run ends with a documented status,
// 0, 1, 2 or 255, and the one that the argument grammar gives.
#include "sim_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <random>
#include <string>

namespace {

using namespace diagtest;
using namespace std::chrono_literals;

const std::vector<std::string> kNames = {"pos",      "rate",  "limit",         "home",     "servo",
                                         "servof",   "bus",   "diocontinuous", "commtest", "index",
                                         "indexres", "latch", "dio",           "spindle"};
const std::vector<std::string> kNearNames = {"POS",  "diotest", "dac", "pos ",
                                             " bus", "index\n", ""};
const std::vector<std::string> kAddresses = {
    "378", "0x2f8", "2F8", " 378", "zz", "0xffffffff", "123456789abcdef0", "-1", "0"};

bool takes_axis(const std::string &name) {
  return name == "index" || name == "indexres" || name == "latch";
}

// As "%d" reads: white space, a sign, then at least one digit.
bool axis_parses(const std::string &text, long &value) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
    ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-'))
    ++i;
  if (i >= text.size() || !std::isdigit(static_cast<unsigned char>(text[i])))
    return false;
  value = std::strtol(text.c_str(), nullptr, 10);
  return true;
}

int expected_status(const std::vector<std::string> &args, bool refused) {
  if (args.size() < 2)
    return 255;
  const std::string &name = args[1];
  if (std::find(kNames.begin(), kNames.end(), name) == kNames.end())
    return 255;
  long axis = 0;
  if (takes_axis(name) && (args.size() < 3 || !axis_parses(args[2], axis)))
    return 255;
  if (refused)
    return 2;
  return takes_axis(name) && (axis < 0 || axis > 3) ? 1 : 0;
}

std::string random_bytes(std::mt19937 &rng) {
  std::uniform_int_distribution<int> length(0, 24), byte(1, 255);
  std::string text;
  for (int n = length(rng); n > 0; --n)
    text += static_cast<char>(byte(rng));
  return text;
}

std::string random_number(std::mt19937 &rng) {
  static const std::vector<std::string> kOdd = {
      "99999999999999999999", "-9223372036854775809", " 2", "\t1x", "+3", "2abc", "4", "-1", "x"};
  std::uniform_int_distribution<std::size_t> odd(0, kOdd.size() - 1);
  std::uniform_int_distribution<int> small(-2, 5), coin(0, 1);
  return coin(rng) ? kOdd[odd(rng)] : std::to_string(small(rng));
}

// Mostly well placed (an address, a name, an axis), often not.
std::vector<std::string> random_args(std::mt19937 &rng) {
  std::uniform_int_distribution<int> count(0, 5), kind(0, 9);
  auto pick = [&](const std::vector<std::string> &from) {
    return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(rng)];
  };
  std::vector<std::string> args;
  for (int i = 0, n = count(rng); i < n; ++i) {
    const int k = kind(rng);
    if (k < 3)
      args.push_back(random_bytes(rng));
    else if (i == 0)
      args.push_back(pick(kAddresses));
    else if (i == 1)
      args.push_back(k < 8 ? pick(kNames) : pick(kNearNames));
    else
      args.push_back(random_number(rng));
  }
  return args;
}

std::string shown(const std::vector<std::string> &args) {
  std::string text;
  for (const std::string &a : args) {
    text += " '";
    for (unsigned char ch : a)
      text += std::isprint(ch) ? std::string(1, static_cast<char>(ch)) : "\\" + std::to_string(ch);
    text += "'";
  }
  return text;
}

class RandomArguments : public testing::TestWithParam<unsigned> {};

TEST_P(RandomArguments, DocumentedStatusAndMatchingOutput) {
  std::mt19937 rng(GetParam());
  std::uniform_int_distribution<int> one_in_eight(0, 7);
  for (int i = 0; i < 40; ++i) {
    const std::vector<std::string> args = random_args(rng);
    const bool refused = one_in_eight(rng) == 0;
    SCOPED_TRACE("arguments" + shown(args) + (refused ? " (access refused)" : ""));
    // limit and home make no bus traffic for the rig's Ctrl-C to follow.
    const SimRun run = run_sim(
        {args,
         std::string("interrupt_after = 20000\n") + (refused ? "refuse_access = \"EPERM\"\n" : ""),
         "",
         {vorn::test::signal_after(SIGINT, 200ms)}});
    const int status = expected_status(args, refused);
    ASSERT_EQ(run.result.exit_status, status) << run.result.out.substr(0, 500);
    const std::string &out = run.result.out;
    switch (status) {
    case 255:
      EXPECT_EQ(out.find("parport addr"), std::string::npos);
      EXPECT_EQ(out.rfind("syntax: ", 0) == 0, args.size() < 2);
      EXPECT_TRUE(run.accesses.empty()) << "the port was touched";
      break;
    case 2:
      EXPECT_NE(out.find("cannot access I/O ports"), std::string::npos);
      EXPECT_TRUE(run.accesses.empty()) << "the port was touched";
      break;
    case 1:
      EXPECT_TRUE(run.started);
      EXPECT_NE(out.find("{limit | home | index <axis> | latch <axis>}\n"), std::string::npos);
      break;
    default:
      EXPECT_TRUE(run.shut_down) << "rate generators not stopped at the end";
    }
    if (HasFailure())
      return;
  }
}

INSTANTIATE_TEST_SUITE_P(Reliability, RandomArguments, testing::Values(11u, 12u, 13u, 14u),
                         [](const auto &info) { return "seed_" + std::to_string(info.param); });

} // namespace
