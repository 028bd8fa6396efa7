// vorntrace: a port trace of vorndiag-sim as bus cycles, or where two traces differ.
//   vorntrace [-a] [trace-file | -]   (standard input when no file is given)
//   vorntrace diff trace-a trace-b
// -a also shows the port accesses with nothing to tell. Traces may be gzip-compressed.
#include "trace_decoder.h"
#include "trace_diff.h"
#include "trace_io.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <streambuf>
#include <string>
#include <unistd.h>

namespace {

constexpr int kExitOutput = 3; // as vorndiag's: standard output could not be written

// Standard output that keeps the reason of its first failed write.
class StdoutBuf final : public std::streambuf {
public:
  StdoutBuf() { setp(buffer_, buffer_ + sizeof buffer_); }
  int error() const { return error_; }

protected:
  int overflow(int c) override {
    if (sync() != 0)
      return traits_type::eof();
    if (c != traits_type::eof()) {
      *pptr() = static_cast<char>(c);
      pbump(1);
    }
    return traits_type::not_eof(c);
  }
  int sync() override {
    for (const char *p = pbase(); p < pptr();) {
      const ssize_t n = ::write(STDOUT_FILENO, p, static_cast<std::size_t>(pptr() - p));
      if (n < 0 && errno == EINTR)
        continue;
      if (n <= 0) {
        if (error_ == 0)
          error_ = n < 0 ? errno : EIO;
        break;
      }
      p += n;
    }
    setp(buffer_, buffer_ + sizeof buffer_);
    return error_ == 0 ? 0 : -1;
  }

private:
  char buffer_[1 << 16];
  int error_ = 0;
};

// The status of a run whose report went to standard output.
int checked(int status, StdoutBuf &out, const char *program) {
  std::cout.flush();
  if (out.error() == 0)
    return status;
  std::cerr << program << ": standard output could not be written: " << std::strerror(out.error())
            << '\n';
  return status == 0 || status == 1 ? kExitOutput : status;
}

bool open_trace(vorn::trace::Input &in, const std::string &path, const char *program) {
  if (in.open(path))
    return true;
  std::cerr << program << ": cannot read " << in.name() << ": " << in.reason() << '\n';
  return false;
}

void print_usage(std::ostream &out, const char *program) {
  out << "usage: " << program << " [-a] [trace-file | -]\n"
      << "       " << program << " diff trace-a trace-b\n";
}

int usage(const char *program) {
  print_usage(std::cerr, program);
  return 2;
}

int diff(int argc, char **argv) {
  if (argc != 4)
    return usage(argv[0]);
  if (std::strcmp(argv[2], "-") == 0 && std::strcmp(argv[3], "-") == 0) {
    std::cerr << argv[0] << ": diff: standard input can be only one of the two traces\n";
    return 2;
  }
  vorn::trace::Input a;
  vorn::trace::Input b;
  if (!open_trace(a, argv[2], argv[0]) || !open_trace(b, argv[3], argv[0]))
    return 2;
  return vorn::sim::diff_traces(a, b, std::cout, std::cerr);
}

int run(int argc, char **argv) {
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    print_usage(std::cout, argv[0]);
    return 0;
  }
  if (argc > 1 && std::strcmp(argv[1], "diff") == 0)
    return diff(argc, argv);
  bool all = false;
  const char *path = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-a") == 0)
      all = true;
    else if (path == nullptr && (argv[i][0] != '-' || std::strcmp(argv[i], "-") == 0))
      path = argv[i];
    else
      return usage(argv[0]);
  }
  // Nobody types a trace: from a terminal, the usage instead of a wait.
  if (path == nullptr && isatty(STDIN_FILENO))
    return usage(argv[0]);
  vorn::trace::Input in;
  if (!open_trace(in, path != nullptr ? path : "-", argv[0]))
    return 2;
  return vorn::sim::decode_trace(in, std::cout, std::cerr, all);
}

} // namespace

int main(int argc, char **argv) {
  StdoutBuf out;
  std::cout.rdbuf(&out);
  const int status = checked(run(argc, argv), out, argv[0]);
  std::cout.rdbuf(nullptr);
  return status;
}
