// The port trace as a file: one line per register access, "R <offset> <hh>"
// or "W <offset> <hh>" (offset in decimal, the byte as two lower-case hex
// digits), and note lines "# <text>" for what a replay needs besides the
// accesses (a Ctrl-C, the command line, the keys typed) and for the time
// (trace_time.h). Written plain or gzip-compressed,
// read either way; one parser for every reader.
#ifndef VORN_TRACE_IO_H
#define VORN_TRACE_IO_H

#include "trace_time.h"

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

struct z_stream_s; // zlib's, kept out of this header

namespace vorn::trace {

struct Access {
  char kind; // 'R' or 'W'
  std::uint16_t offset;
  std::uint8_t value;
  bool operator==(const Access &) const = default;
};

struct Line {
  enum class Kind { access, note, invalid };
  Kind kind = Kind::invalid;
  Access access{};       // for Kind::access
  std::string_view note; // for Kind::note: the text after "# ", a view into the line
};

// `text` without its line end.
Line parse_line(std::string_view text) noexcept;

// The longest access line, its line end included ("W 65535 ff\n").
inline constexpr std::size_t kAccessLineMax = 12;
// The line of `a`, line end included, as a view into `text`.
std::string_view format_access(const Access &a, char (&text)[kAccessLineMax]) noexcept;

// A file of the run besides its traces (a replay recording, a rig file).
struct RunFile {
  dev_t dev;
  ino_t ino;
  std::string what; // names it in a trace's refusal
};

// What a run's traces and its standard output keep to as they are written.
struct WriteRules {
  // While `*give_way` is non-zero (a stop signal has come and the boards
  // are not yet shut down), a write that would wait for a slow reader gives
  // way: it stops where it is, so that the shut-down is not held up, and
  // the rest is written later. nullptr: writes wait for their reader.
  const volatile std::sig_atomic_t *give_way = nullptr;
  // Files a trace must not overwrite.
  std::vector<RunFile> run_files;
  void protect(int fd, const char *what);
};

// The largest piece one write to `fd` takes without waiting once poll(2)
// says it is writable: all of it for a regular file, PIPE_BUF otherwise.
std::size_t unblocked_piece(int fd) noexcept;
// Writes `data` to `fd` in such pieces, giving way as `rules` say (nullptr:
// never). Returns what was written: all of it, or less when it gave way
// (err 0) or a write failed (err its errno).
std::size_t write_giving_way(int fd, const char *data, std::size_t size, std::size_t piece,
                             const WriteRules *rules, int &err) noexcept;

// Writes a trace. Lines go through a 1 MiB buffer (an attached FILE* keeps
// its own buffering, so that they stay in order with anything else written
// to it). The first failure is kept as an errno; later lines are dropped.
class Output {
public:
  // Keeping to `rules` (not owned) when given.
  explicit Output(const WriteRules *rules = nullptr) : rules_(rules) {}
  ~Output() { close(); }
  Output(const Output &) = delete;
  Output &operator=(const Output &) = delete;

  // A path ending in ".gz" is written gzip-compressed. Ends any current
  // output first; false with errno set. A symbolic link is refused (ELOOP),
  // so is a FIFO with no reader (ENXIO), without waiting for one; so is
  // (EEXIST, clash() naming it) a regular file that is standard output,
  // standard error or one of the rules' run files. The file is left
  // as it was found, nothing written to it, until begin().
  bool open(const std::string &path);
  // Empties the file open() took and writes from here on: once the run is
  // sure to be the file's writer. Lines before it are dropped.
  void begin() noexcept;
  // After an EEXIST from open(): which file the trace would have overwritten.
  const std::string &clash() const { return clash_; }
  // Not owned: close() flushes it and leaves it open.
  void attach(std::FILE *file);

  void access(char kind, std::uint16_t offset, std::uint8_t value) noexcept;
  // Each CR or LF in `text` is written as a space: a note is one line.
  void note(std::string_view text) noexcept;
  // From here on, time marks from `clock` (not owned) before each access
  // that is due one; time 0 is now. nullptr: no more marks.
  void time_from(const Clock *clock) noexcept;

  // Both write out what is buffered; false once anything has failed.
  bool flush() noexcept;
  bool close() noexcept;
  // Lets go of the file without writing what is buffered (a forked child's
  // copy of its parent's trace); later writes go nowhere.
  void abandon() noexcept;

  bool is_open() const { return fd_ >= 0 || file_ != nullptr; }
  // The errno of the first failure since open/attach, 0 if none; kept after close.
  int error() const { return error_; }

private:
  void put(const char *data, std::size_t size) noexcept;
  void stamp() noexcept;
  void drain() noexcept;
  void compress(const char *data, std::size_t size, int flush) noexcept;
  void emit(const char *data, std::size_t size) noexcept;
  std::size_t send(const char *data, std::size_t size) noexcept;
  void fail(int err) noexcept;

  const WriteRules *rules_;
  int fd_ = -1;
  std::size_t piece_ = 0;
  std::string held_; // what a stop left unwritten, written before the buffer
  std::string clash_;
  z_stream_s *z_ = nullptr;        // for a .gz trace
  std::unique_ptr<char[]> packed_; // compressed, before it is sent
  std::FILE *file_ = nullptr;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
  int error_ = 0;
  bool begun_ = true;
  TimeMarks marks_;
};

// Reads a trace line by line, plain or gzip-compressed (told by the
// content, not the name). Data after the end of a gzip stream is an error.
class Input {
public:
  Input() = default;
  ~Input() { close(); }
  Input(const Input &) = delete;
  Input &operator=(const Input &) = delete;

  // "-" is standard input. False with errno set and reason() telling why
  // (a folder is refused as one).
  bool open(const std::string &path);
  void close();

  // The next line without its line end (LF or CR LF); the view lasts until
  // the next call. False at the end and on a read error (then failed()).
  // A line longer than 64 KiB is cut there.
  bool next(std::string_view &line);

  // After a line that is no trace line: whether the rest of a compressed
  // input fails to decompress (failed() then tells why), for a corrupted
  // stream yields bytes before its check fails. Ends the input.
  bool broken_on();

  std::uint64_t line_number() const { return line_number_; } // of the last line given
  const std::string &name() const { return name_; }          // "<stdin>" for "-"
  int fd() const { return fd_; }                             // -1 when not open
  bool failed() const { return !reason_.empty(); }
  const std::string &reason() const { return reason_; }

private:
  bool fill();
  bool detect();
  bool read_failed(const char *why);

  z_stream_s *z_ = nullptr; // for a gzip file; nullptr for plain text
  std::unique_ptr<char[]> raw_;
  bool member_ended_ = false;
  bool detected_ = false; // plain or gzip, told by the first bytes
  int fd_ = -1;
  std::string name_;
  std::unique_ptr<char[]> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool at_end_ = false;
  bool cut_ = false; // the last line given was cut: skip the rest of it
  std::uint64_t line_number_ = 0;
  std::string reason_;
};

} // namespace vorn::trace

#endif
