// The port trace: "R <offset> <hh>" or "W <offset> <hh>", one line per
// access, through a large stdio buffer so that tracing never allocates.
#ifndef VORN_TRACE_WRITER_H
#define VORN_TRACE_WRITER_H

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace vorn {

class TraceWriter {
public:
  TraceWriter() = default;
  ~TraceWriter() { close(); }
  TraceWriter(const TraceWriter &) = delete;
  TraceWriter &operator=(const TraceWriter &) = delete;

  bool open(const std::string &path); // false with errno set
  void attach(std::FILE *file);       // not owned
  void close();
  void flush();
  void line(char kind, std::uint16_t offset, std::uint8_t value);

private:
  std::FILE *file_ = nullptr;
  bool owned_ = false;
  std::unique_ptr<char[]> buffer_;
};

} // namespace vorn

#endif
