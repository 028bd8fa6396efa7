// monitor: the boards at a glance, redrawn a few times a second until q or
// a stop. Read-only: the encoder latch strobe is its only write.
#include "bus_probe.h"
#include "frame.h"
#include "key_trace.h"
#include "monitor_screen.h"
#include "monitor_view.h"
#include "stop_signals.h"

#include "vorn.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

namespace vorndiag {

namespace {

// 20 refreshes a second: an index pulse is placed to within 1/20 s of motion.
constexpr int kRefreshMs = 50;
constexpr int kCtrlC = 0x03; // a terminal that does not signal it

double steady_seconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Every read of the boards one refresh makes: the counts (the latch strobe
// and one read), the index bits in one read, the two inputs; the bus
// account costs no port access.
MonitorSample take_sample() {
  MonitorSample s;
  s.seconds = steady_seconds();
  vornEncoderReadAll(kAxes, s.counts.data());
  vornEncoderIndexAll(&s.index_bits);
  for (int i = 0; i < kMonitorInputs; ++i)
    vornDioRead(i, &s.inputs[i]); // 1: also the emergency-stop read
  for (int b = 0; b < kMonitorBlocks; ++b)
    vornBusAccount(b, &s.blocks[b].cycles, &s.blocks[b].unanswered);
  return s;
}

// How the port is reached, as the library tells it.
std::string port_line() {
  vorn_port_way port{};
  char text[96];
  if (vornPortWay(&port) != 0) {
    std::snprintf(text, sizeof text, "port 0x%x: not started", vorn_base_addr);
    return text;
  }
  const std::string way = port.name;
  if (port.way == VORN_WAY_OTHER) {
    std::snprintf(text, sizeof text, "port 0x%x: %s", port.base,
                  way == "replay" ? "replay of a trace" : "simulated board set");
    return text;
  }
  const char *epp = port.epp > 0 ? "EPP" : port.epp == 0 ? "no EPP" : "EPP not known";
  std::snprintf(text, sizeof text, "port 0x%x: %s %s, %s", port.base, way.c_str(),
                port.way == VORN_WAY_DEVICE && port.listed ? port.device : "access", epp);
  return text;
}

} // namespace

void test_monitor(const TestArgs &args) {
  const BoardIds ids = probe_boards();
  MonitorView view = start_view(ids, take_sample());
  if (!open_screen()) {
    test_status = kExitOutput;
    return;
  }
  const std::string port = port_line();
  MonitorView frozen = view;
  bool paused = false;
  double next = view.now + kRefreshMs / 1000.0;
  while (!stop_requested() && draw_screen(paused ? frozen : view, port, paused)) {
    // A replay takes its recording's key here at once; otherwise it waits
    // out the refresh as the recorded run did, the keys typed ignored.
    int key = taken_key(-1);
    for (double left = 0; key < 0 && done == 0 && (left = next - steady_seconds()) > 0;)
      key = taken_key(wait_key(static_cast<int>(left * 1000) + 1));
    if (key == 'q' || key == kCtrlC)
      break;
    if (key == 'z')
      zero_positions(view);
    if (key == 'p') {
      paused = !paused;
      frozen = view;
    }
    // A key shows at once, the sample keeps its time. Whether a sample
    // follows hangs on the key alone, so that a replay makes the same ones.
    if (key >= 0)
      continue;
    update_view(view, take_sample());
    // Late (a loaded machine): the next refresh a full period on, no burst.
    next = std::max(next, view.now) + kRefreshMs / 1000.0;
  }
  close_screen();
  test_closing = stopped_board_lines(view, args.prog);
  if (!test_closing.empty())
    test_status = kExitUnanswered;
}

} // namespace vorndiag
