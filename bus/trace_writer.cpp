#include "trace_writer.h"

namespace vorn {

namespace {
constexpr std::size_t kBufferSize = std::size_t{1} << 20;
}

bool TraceWriter::open(const std::string &path) {
  std::FILE *file = std::fopen(path.c_str(), "w");
  if (file == nullptr)
    return false;
  close();
  buffer_ = std::make_unique<char[]>(kBufferSize);
  std::setvbuf(file, buffer_.get(), _IOFBF, kBufferSize);
  file_ = file;
  owned_ = true;
  return true;
}

void TraceWriter::attach(std::FILE *file) {
  close();
  file_ = file;
}

void TraceWriter::close() {
  if (file_ != nullptr && owned_)
    std::fclose(file_);
  else if (file_ != nullptr)
    std::fflush(file_);
  file_ = nullptr;
  owned_ = false;
  buffer_.reset();
}

void TraceWriter::flush() {
  if (file_ != nullptr)
    std::fflush(file_);
}

void TraceWriter::line(char kind, std::uint16_t offset, std::uint8_t value) {
  if (file_ == nullptr)
    return;
  static constexpr char kHex[] = "0123456789abcdef";
  char text[16];
  char *p = text + sizeof text;
  *--p = '\n';
  *--p = kHex[value & 0x0F];
  *--p = kHex[value >> 4];
  *--p = ' ';
  do {
    *--p = static_cast<char>('0' + offset % 10);
    offset = static_cast<std::uint16_t>(offset / 10);
  } while (offset != 0);
  *--p = ' ';
  *--p = kind;
  std::fwrite(p, 1, static_cast<std::size_t>(text + sizeof text - p), file_);
}

} // namespace vorn
