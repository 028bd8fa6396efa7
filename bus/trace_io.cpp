#include "trace_io.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

namespace vorn::trace {

namespace {

constexpr std::size_t kOutputBuffer = std::size_t{1} << 20;
constexpr std::size_t kLineMax = std::size_t{1} << 16;
// A commtest run traces about 100 MB/s of lines. On such a trace level 1
// takes about 25 ns a line for 1/20 of the size, level 6 about 85 ns (too
// slow to keep up) for 1/27. Level 3 is as fast as 1 on traces (their long
// matches), and finds them again soon after a time mark, where level 1
// loses them for a kilobyte or more.
constexpr int kGzipLevel = 3;
constexpr int kGzipWindow = 15 + 16; // 32 KiB, with a gzip header
constexpr unsigned kGzipBuffer = 1u << 17;

int hex_digit(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  return -1;
}

bool same_file(const struct stat &a, const struct stat &b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Every signal is held back outside ppoll, so that a stop that comes
// between the look at the flag and the wait still ends the wait.
bool wait_writable(int fd, const WriteRules *rules) {
  sigset_t all;
  sigset_t open;
  sigfillset(&all);
  sigprocmask(SIG_BLOCK, &all, &open);
  bool ready = false;
  for (;;) {
    const volatile std::sig_atomic_t *flag = rules != nullptr ? rules->give_way : nullptr;
    if (flag != nullptr && *flag != 0)
      break;
    pollfd p{fd, POLLOUT, 0};
    // POLLERR, POLLHUP, POLLNVAL and failures but a signal: the write tells.
    if (ppoll(&p, 1, nullptr, &open) >= 0 || errno != EINTR) {
      ready = true;
      break;
    }
  }
  sigprocmask(SIG_SETMASK, &open, nullptr);
  return ready;
}

// The file the trace would overwrite, if it is one of the run's: empty if none.
std::string clashing_file(int fd, const WriteRules *rules) {
  struct stat trace {};
  if (::fstat(fd, &trace) != 0 || !S_ISREG(trace.st_mode))
    return {};
  struct stat other {};
  if (::fstat(STDOUT_FILENO, &other) == 0 && same_file(trace, other))
    return "standard output";
  if (::fstat(STDERR_FILENO, &other) == 0 && same_file(trace, other))
    return "standard error";
  if (rules != nullptr)
    for (const RunFile &f : rules->run_files)
      if (f.dev == trace.st_dev && f.ino == trace.st_ino)
        return f.what;
  return {};
}

} // namespace

std::size_t unblocked_piece(int fd) noexcept {
  struct stat st {};
  return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? SIZE_MAX : PIPE_BUF;
}

std::size_t write_giving_way(int fd, const char *data, std::size_t size, std::size_t piece,
                             const WriteRules *rules, int &err) noexcept {
  err = 0;
  std::size_t written = 0;
  while (written < size) {
    if (piece != SIZE_MAX && !wait_writable(fd, rules))
      break;
    const ssize_t n = ::write(fd, data + written, std::min(size - written, piece));
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0) {
      err = n < 0 ? errno : EIO;
      break;
    }
    written += static_cast<std::size_t>(n);
  }
  return written;
}

void WriteRules::protect(int fd, const char *what) {
  struct stat st {};
  if (::fstat(fd, &st) == 0)
    run_files.push_back({st.st_dev, st.st_ino, what});
}

Line parse_line(std::string_view text) noexcept {
  Line line;
  if (!text.empty() && text[0] == '#') {
    line.kind = Line::Kind::note;
    line.note = text.substr(text.size() > 1 && text[1] == ' ' ? 2 : 1);
    return line;
  }
  if (text.size() < 6 || (text[0] != 'R' && text[0] != 'W') || text[1] != ' ')
    return line;
  std::size_t i = 2;
  unsigned offset = 0;
  while (i < text.size() && i < 7 && text[i] >= '0' && text[i] <= '9')
    offset = offset * 10 + static_cast<unsigned>(text[i++] - '0');
  if (i == 2 || offset > 0xFFFF || i + 3 != text.size() || text[i] != ' ')
    return line;
  const int hi = hex_digit(text[i + 1]);
  const int lo = hex_digit(text[i + 2]);
  if (hi < 0 || lo < 0)
    return line;
  line.kind = Line::Kind::access;
  line.access = {text[0], static_cast<std::uint16_t>(offset),
                 static_cast<std::uint8_t>(hi * 16 + lo)};
  return line;
}

bool Output::open(const std::string &path) {
  close();
  error_ = 0;
  clash_.clear();
  auto buffer = std::make_unique<char[]>(kOutputBuffer);
  // Not truncated here: a run refused at start-up leaves it as it was.
  const int fd =
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0)
    return false;
  clash_ = clashing_file(fd, rules_);
  const int flags = ::fcntl(fd, F_GETFL);
  if (!clash_.empty() || flags == -1 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == -1) {
    const int err = clash_.empty() ? errno : EEXIST;
    ::close(fd);
    errno = err;
    return false;
  }
  piece_ = unblocked_piece(fd);
  // Compressed here rather than by zlib's own file writer, so that the
  // writes go through write_giving_way() as a plain trace's do.
  if (path.ends_with(".gz")) {
    packed_ = std::make_unique<char[]>(kGzipBuffer);
    z_ = new z_stream{};
    if (deflateInit2(z_, kGzipLevel, Z_DEFLATED, kGzipWindow, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
      delete z_;
      z_ = nullptr;
      ::close(fd);
      errno = ENOMEM;
      return false;
    }
  }
  fd_ = fd;
  buffer_ = std::move(buffer);
  begun_ = false;
  return true;
}

void Output::begin() noexcept {
  if (begun_)
    return;
  begun_ = true;
  if (fd_ >= 0 && piece_ == SIZE_MAX && ::ftruncate(fd_, 0) != 0)
    fail(errno);
}

void Output::attach(std::FILE *file) {
  close();
  error_ = 0;
  file_ = file;
}

std::string_view format_access(const Access &a, char (&text)[kAccessLineMax]) noexcept {
  static constexpr char kHex[] = "0123456789abcdef";
  char *p = text + kAccessLineMax;
  *--p = '\n';
  *--p = kHex[a.value & 0x0F];
  *--p = kHex[a.value >> 4];
  *--p = ' ';
  std::uint16_t offset = a.offset;
  do {
    *--p = static_cast<char>('0' + offset % 10);
    offset = static_cast<std::uint16_t>(offset / 10);
  } while (offset != 0);
  *--p = ' ';
  *--p = a.kind;
  return {p, static_cast<std::size_t>(text + kAccessLineMax - p)};
}

void Output::time_from(const Clock *clock) noexcept {
  if (clock != nullptr)
    marks_.start(clock);
  else
    marks_.stop();
}

void Output::stamp() noexcept {
  char text[kMarkLineMax];
  if (const std::string_view mark = marks_.due(text); !mark.empty())
    put(mark.data(), mark.size());
}

void Output::access(char kind, std::uint16_t offset, std::uint8_t value) noexcept {
  stamp();
  char text[kAccessLineMax];
  const std::string_view line = format_access({kind, offset, value}, text);
  put(line.data(), line.size());
}

void Output::note(std::string_view text) noexcept {
  put("# ", 2);
  for (std::size_t end; (end = text.find_first_of("\r\n")) != std::string_view::npos;) {
    put(text.data(), end);
    put(" ", 1);
    text.remove_prefix(end + 1);
  }
  put(text.data(), text.size());
  put("\n", 1);
}

void Output::put(const char *data, std::size_t size) noexcept {
  if (error_ != 0 || !begun_)
    return;
  if (file_ != nullptr) {
    if (std::fwrite(data, 1, size, file_) != size)
      fail(errno);
    return;
  }
  while (buffer_ != nullptr && size > 0) {
    if (used_ == kOutputBuffer)
      drain();
    const std::size_t n = std::min(size, kOutputBuffer - used_);
    std::memcpy(buffer_.get() + used_, data, n);
    used_ += n;
    data += n;
    size -= n;
  }
}

void Output::drain() noexcept {
  if (!begun_) // not even a gzip header
    used_ = 0;
  else if (error_ != 0)
    held_.clear();
  else if (z_ != nullptr)
    compress(buffer_.get(), used_, Z_NO_FLUSH);
  else if (fd_ >= 0)
    emit(buffer_.get(), used_);
  used_ = 0;
}

// Compresses `data` (`flush` as deflate() takes it) and sends what comes out.
void Output::compress(const char *data, std::size_t size, int flush) noexcept {
  z_->next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data));
  z_->avail_in = static_cast<uInt>(size);
  do {
    z_->next_out = reinterpret_cast<Bytef *>(packed_.get());
    z_->avail_out = kGzipBuffer;
    if (::deflate(z_, flush) == Z_STREAM_ERROR)
      fail(EIO);
    emit(packed_.get(), kGzipBuffer - z_->avail_out);
  } while (z_->avail_out == 0 && error_ == 0);
}

// Every byte for the file goes through here. What a stop leaves unwritten
// is held, in order, and sent first next time.
void Output::emit(const char *data, std::size_t size) noexcept {
  if (error_ != 0) {
    held_.clear();
    return;
  }
  held_.erase(0, send(held_.data(), held_.size()));
  const std::size_t sent = held_.empty() ? send(data, size) : 0;
  try {
    held_.append(data + sent, size - sent);
  } catch (const std::bad_alloc &) {
    fail(ENOMEM);
  }
}

// How much of `data` is done with: written, or dropped after a failure.
std::size_t Output::send(const char *data, std::size_t size) noexcept {
  int err = 0;
  const std::size_t n = write_giving_way(fd_, data, size, piece_, rules_, err);
  if (err == 0)
    return n;
  fail(err);
  return size;
}

void Output::fail(int err) noexcept {
  if (error_ == 0)
    error_ = err != 0 ? err : EIO;
}

bool Output::flush() noexcept {
  drain();
  if (error_ == 0 && z_ != nullptr && begun_)
    compress(nullptr, 0, Z_SYNC_FLUSH);
  if (error_ == 0 && file_ != nullptr && std::fflush(file_) != 0)
    fail(errno);
  return error_ == 0;
}

bool Output::close() noexcept {
  drain();
  if (z_ != nullptr) {
    if (error_ == 0 && begun_)
      compress(nullptr, 0, Z_FINISH);
    deflateEnd(z_);
    delete z_;
    z_ = nullptr;
  }
  if (!held_.empty()) { // a stop is still giving way: the end waits for the reader
    const WriteRules *rules = rules_;
    rules_ = nullptr;
    drain();
    rules_ = rules;
  }
  if (fd_ >= 0 && ::close(fd_) != 0)
    fail(errno);
  if (file_ != nullptr && std::fflush(file_) != 0)
    fail(errno);
  fd_ = -1;
  file_ = nullptr;
  marks_.stop();
  buffer_.reset();
  packed_.reset();
  held_.clear();
  begun_ = true;
  return error_ == 0;
}

void Output::abandon() noexcept {
  if (z_ != nullptr) {
    deflateEnd(z_);
    delete z_;
    z_ = nullptr;
  }
  if (fd_ >= 0)
    ::close(fd_);
  fd_ = -1;
  file_ = nullptr;
  buffer_.reset();
  packed_.reset();
  held_.clear();
  used_ = 0;
}

namespace {

constexpr std::size_t kRawBuffer = std::size_t{1} << 16;

// read(2) that goes on after a signal.
ssize_t read_some(int fd, char *data, std::size_t size) {
  ssize_t n;
  while ((n = ::read(fd, data, size)) < 0 && errno == EINTR) {
  }
  return n;
}

} // namespace

bool Input::open(const std::string &path) {
  close();
  name_ = path == "-" ? "<stdin>" : path;
  const auto refuse = [this](int err) {
    reason_ = std::strerror(err);
    errno = err;
    return false;
  };
  auto buffer = std::make_unique<char[]>(kLineMax);
  auto raw = std::make_unique<char[]>(kRawBuffer);
  const int fd = path == "-" ? ::dup(STDIN_FILENO) : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return refuse(errno);
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    return refuse(EISDIR);
  }
  fd_ = fd;
  buffer_ = std::move(buffer);
  raw_ = std::move(raw);
  return true;
}

void Input::close() {
  if (z_ != nullptr) {
    inflateEnd(z_);
    delete z_;
  }
  z_ = nullptr;
  if (fd_ >= 0)
    ::close(fd_);
  fd_ = -1;
  buffer_.reset();
  raw_.reset();
  begin_ = end_ = 0;
  at_end_ = cut_ = member_ended_ = detected_ = false;
  line_number_ = 0;
  reason_.clear();
}

// Gzip is told by its magic bytes; anything else is read as plain text.
bool Input::detect() {
  detected_ = true;
  std::size_t have = 0;
  for (ssize_t n = 1; have < 2 && n > 0; have += n > 0 ? static_cast<std::size_t>(n) : 0)
    if ((n = read_some(fd_, raw_.get() + have, 2 - have)) < 0)
      return read_failed(std::strerror(errno));
  if (have == 2 && raw_[0] == '\x1f' && raw_[1] == '\x8b') {
    z_ = new z_stream{};
    if (inflateInit2(z_, 15 + 16) != Z_OK) {
      delete z_;
      z_ = nullptr;
      return read_failed(std::strerror(ENOMEM));
    }
    z_->next_in = reinterpret_cast<Bytef *>(raw_.get());
    z_->avail_in = static_cast<uInt>(have);
  } else {
    std::memcpy(buffer_.get() + end_, raw_.get(), have);
    end_ += have;
    at_end_ = have < 2;
  }
  return true;
}

bool Input::read_failed(const char *why) {
  reason_ = why != nullptr && *why != '\0' ? why : "read error";
  return false;
}

// Members of a gzip file follow each other; anything else after the end
// of one is an error, not silently dropped.
bool Input::fill() {
  if (!detected_)
    return detect();
  char *out = buffer_.get() + end_;
  const std::size_t room = kLineMax - end_;
  if (z_ == nullptr) {
    const ssize_t n = read_some(fd_, out, room);
    if (n < 0)
      return read_failed(std::strerror(errno));
    end_ += static_cast<std::size_t>(n);
    at_end_ = n == 0;
    return true;
  }
  z_->next_out = reinterpret_cast<Bytef *>(out);
  z_->avail_out = static_cast<uInt>(room);
  while (z_->avail_out == room && !at_end_) {
    if (z_->avail_in == 0) {
      const ssize_t n = read_some(fd_, raw_.get(), kRawBuffer);
      if (n < 0)
        return read_failed(std::strerror(errno));
      if (n == 0 && !member_ended_)
        return read_failed("unexpected end of file");
      at_end_ = n == 0;
      z_->next_in = reinterpret_cast<Bytef *>(raw_.get());
      z_->avail_in = static_cast<uInt>(n);
      continue;
    }
    if (member_ended_) {
      if (z_->next_in[0] != 0x1f)
        return read_failed("data after the end of the gzip stream");
      inflateReset(z_);
      member_ended_ = false;
    }
    const int result = inflate(z_, Z_NO_FLUSH);
    if (result == Z_STREAM_END)
      member_ended_ = true;
    else if (result != Z_OK && result != Z_BUF_ERROR)
      return read_failed(z_->msg);
  }
  end_ += room - z_->avail_out;
  return true;
}

bool Input::broken_on() {
  while (detected_ && z_ != nullptr && !failed() && !at_end_) {
    begin_ = end_ = 0;
    fill();
  }
  at_end_ = true;
  begin_ = end_;
  return failed();
}

bool Input::next(std::string_view &line) {
  if (fd_ < 0 || failed())
    return false;
  for (;;) {
    char *start = buffer_.get() + begin_;
    const std::size_t avail = end_ - begin_;
    const char *lf = static_cast<const char *>(std::memchr(start, '\n', avail));
    if (lf == nullptr && !at_end_ && avail < kLineMax) {
      std::memmove(buffer_.get(), start, avail);
      begin_ = 0;
      end_ = avail;
      if (!fill())
        return false;
      continue;
    }
    if (lf == nullptr && avail == 0)
      return false;
    std::size_t size = lf != nullptr ? static_cast<std::size_t>(lf - start) : avail;
    begin_ += lf != nullptr ? size + 1 : size;
    const bool rest_of_cut_line = cut_;
    cut_ = lf == nullptr && !at_end_;
    if (rest_of_cut_line)
      continue;
    ++line_number_;
    if (size > 0 && start[size - 1] == '\r')
      --size;
    line = std::string_view(start, size);
    return true;
  }
}

} // namespace vorn::trace
