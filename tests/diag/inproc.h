// Running a test body in this process: its standard output captured, the
// port scripted, the loop stopped after a chosen number of data reads, and
// the port log read as bus operations.
#ifndef VORNDIAG_TEST_INPROC_H
#define VORNDIAG_TEST_INPROC_H

#include "bus_ops.h"
#include "recording_port.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace diagtest {

using vorn::test::Access;

// Standard output from construction until take() goes to a file.
class StdoutCapture {
public:
  StdoutCapture();
  ~StdoutCapture();
  StdoutCapture(const StdoutCapture &) = delete;
  StdoutCapture &operator=(const StdoutCapture &) = delete;
  std::string take();

private:
  int saved_ = -1;
  std::FILE *file_ = nullptr;
};

// Clears vorndiag::done, and sets it when the EPP data register has been
// read `reads` times: the pass in progress is the last one.
class StopAfterReads : public vorn::test::RecordingPort {
public:
  explicit StopAfterReads(std::uint64_t reads);
  std::uint8_t read(vorn::Reg reg) override;

private:
  std::uint64_t left_;
};

using Counts = std::array<std::int32_t, 4>;
// What the EPP data register gives for one count read per element: three
// bytes per axis, low byte first.
std::vector<std::uint8_t> count_reads(const std::vector<Counts> &passes);

// Joins `fields` the way a live count line shows them: each field then a
// tab, and the carriage return.
std::string count_line(const std::array<const char *, 4> &fields);

} // namespace diagtest

#endif
