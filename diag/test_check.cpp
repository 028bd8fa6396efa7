// check: go/no-go. One line per point, each starting with PASS, WARN or
// FAIL, then a summary line of the same form. It starts no motor: the only
// rate generator write is the stop.
#include "board_map.h"
#include "bus_probe.h"
#include "frame.h"
#include "stop_signals.h"

#include "vorn.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace vorndiag {

namespace {

using namespace vorn::map;

enum class Verdict { pass, warn, fail };

struct Tally {
  int warned = 0;
  int failed = 0;
  int lines = 0;
};

constexpr const char *verdict_word(Verdict v) {
  return v == Verdict::pass ? "PASS" : v == Verdict::warn ? "WARN" : "FAIL";
}

void line(Tally &tally, Verdict v, const std::string &text) {
  ++tally.lines;
  tally.warned += v == Verdict::warn;
  tally.failed += v == Verdict::fail;
  std::printf("%s %s\n", verdict_word(v), text.c_str());
}

std::string hex(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", value);
  return text;
}

// Whether the port runs EPP, as far as this PC tells: today the kernel's
// list of modes.
Verdict epp_verdict(const vorn_port_way &port, std::string &how) {
  if (port.epp < 0) {
    how = "EPP not known (the kernel lists no modes for it)";
    return Verdict::warn;
  }
  how = std::string("kernel modes ") + port.modes + (port.epp == 1 ? ": EPP present" : ": no EPP");
  return port.epp == 1 ? Verdict::pass : Verdict::fail;
}

void check_port(Tally &tally) {
  vorn_port_way port;
  if (vornPortWay(&port) != 0) {
    line(tally, Verdict::fail, std::string("port: ") + std::strerror(errno));
    return;
  }
  const std::string way = port.name;
  const std::string at = "port " + hex(port.base);
  if (port.way == VORN_WAY_OTHER) {
    line(tally, Verdict::pass, "port: " + way + " " + at + " (no kernel port to ask)");
    return;
  }
  std::string how;
  const Verdict v = epp_verdict(port, how);
  const std::string through = port.way == VORN_WAY_DEVICE && port.listed
                                  ? std::string(" through ") + port.device
                                  : std::string(" through the registers");
  line(tally, v, "port: " + way + " " + at + through + ", " + how);
}

std::string board_name(unsigned id) {
  switch (id >> 4) {
  case kTypeEncoder:
    return "encoder";
  case kTypeDac:
    return "DAC-16";
  case kTypeDio:
    return "DIO";
  case kTypeRategen:
    return "rate generator";
  default:
    return "unknown board " + hex(id);
  }
}

bool board_at(const BoardIds &ids, std::uint32_t block, unsigned type) {
  return ids[block] != kNotProbed && static_cast<unsigned>(ids[block]) >> 4 == type;
}

// The encoder and the rate generator are what the tool drives; the others
// are listed.
bool check_bus(Tally &tally) {
  const BoardIds ids = probe_boards();
  std::string found;
  for (std::uint32_t block = 0; block < kBlockCount; ++block) {
    if (ids[block] == kNotProbed || static_cast<unsigned>(ids[block]) >> 4 == kTypeNone)
      continue;
    const auto id = static_cast<unsigned>(ids[block]);
    found += (found.empty() ? "" : ", ") + board_name(id) + " v" + std::to_string(id & 0x0F) +
             " at block " + std::to_string(block);
  }
  const bool encoder = board_at(ids, kEncoderBlock, kTypeEncoder);
  const bool rate = board_at(ids, kRateBlock, kTypeRategen);
  std::string missing;
  if (!encoder)
    missing += "no encoder board at block 0";
  if (!rate)
    missing += std::string(missing.empty() ? "" : ", ") + "no rate generator at block 1";
  if (found.empty())
    found = "no board answered at any block";
  line(tally, encoder && rate ? Verdict::pass : Verdict::fail,
       "bus: " + found + (missing.empty() ? "" : "; " + missing));
  return rate;
}

long long unanswered_at(std::uint32_t block) {
  long long cycles = 0;
  long long unanswered = 0;
  vornBusAccount(static_cast<int>(block), &cycles, &unanswered);
  return unanswered;
}

void check_communication(Tally &tally, long long cycles) {
  const long long unanswered_before = unanswered_at(kEncoderBlock);
  long long run = 0;
  long long errors = 0;
  while (run < cycles && !stop_requested())
    errors += comm_cycle(++run, false);
  const long long unanswered = unanswered_at(kEncoderBlock) - unanswered_before;
  char text[200];
  const double reads = 4.0 * static_cast<double>(run);
  std::snprintf(text, sizeof text,
                "encoder communication: %lld cycles, %lld errors (%.3g%% of %.0f axis reads), "
                "%lld unanswered",
                run, errors, run > 0 ? 100.0 * static_cast<double>(errors) / reads : 0.0, reads,
                unanswered);
  std::string all = text;
  Verdict v = errors > 0 || unanswered > 0 ? Verdict::fail : Verdict::pass;
  if (v == Verdict::pass && run < cycles) {
    v = Verdict::warn;
    all += "; stopped before " + std::to_string(cycles);
  }
  line(tally, v, all);
}

void check_stop(Tally &tally, bool rate_found) {
  if (RateQuit() == 0)
    line(tally, Verdict::pass, "rate generator stop: answered");
  else if (!rate_found)
    line(tally, Verdict::fail, "rate generator stop: no rate generator to take it");
  else
    line(tally, Verdict::fail,
         "rate generator stop: not answered: the axes may still be "
         "moving; switch the drives off");
}

} // namespace

void test_check(const TestArgs &args) {
  Tally tally;
  check_port(tally);
  const bool rate_found = check_bus(tally);
  check_communication(tally, args.cycles);
  check_stop(tally, rate_found);
  if (tally.failed > 0)
    line(tally, Verdict::fail,
         "check: " + std::to_string(tally.failed) + " of " + std::to_string(tally.lines) +
             " failed");
  else if (tally.warned > 0)
    line(tally, Verdict::warn, "check: passed, " + std::to_string(tally.warned) + " warned");
  else
    line(tally, Verdict::pass, "check: all " + std::to_string(tally.lines) + " passed");
  test_status = tally.failed > 0 ? kExitCheckFailed : 0;
}

} // namespace vorndiag
