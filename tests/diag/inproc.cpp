#include "inproc.h"

#include "frame.h"

#include <cstdlib>
#include <unistd.h>

namespace diagtest {

StdoutCapture::StdoutCapture() {
  std::fflush(stdout);
  file_ = std::tmpfile();
  saved_ = dup(STDOUT_FILENO);
  dup2(fileno(file_), STDOUT_FILENO);
}

StdoutCapture::~StdoutCapture() { take(); }

std::string StdoutCapture::take() {
  if (file_ == nullptr)
    return {};
  std::fflush(stdout);
  dup2(saved_, STDOUT_FILENO);
  close(saved_);
  std::string text;
  std::rewind(file_);
  char chunk[4096];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, file_)) > 0)
    text.append(chunk, n);
  std::fclose(file_);
  file_ = nullptr;
  return text;
}

StopAfterReads::StopAfterReads(std::uint64_t reads) : left_(reads) { vorndiag::done = 0; }

std::uint8_t StopAfterReads::read(vorn::Reg reg) {
  std::uint8_t value = RecordingPort::read(reg);
  if (reg == vorn::Reg::epp_data && left_ > 0 && --left_ == 0)
    vorndiag::done = 1;
  return value;
}

std::vector<std::uint8_t> count_reads(const std::vector<Counts> &passes) {
  std::vector<std::uint8_t> bytes;
  for (const Counts &pass : passes)
    for (std::int32_t count : pass)
      for (int shift = 0; shift < 24; shift += 8)
        bytes.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(count) >> shift));
  return bytes;
}

std::string count_line(const std::array<const char *, 4> &fields) {
  std::string line;
  for (const char *field : fields)
    line += std::string(field) + "\t";
  return line + "\r";
}

} // namespace diagtest
