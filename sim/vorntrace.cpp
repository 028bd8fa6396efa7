// vorntrace: a port trace as bus cycles, where two traces differ, the bus
// as a logic analyser shows it, or a picture of the run.
//   vorntrace [-a] [trace-file | -]   (standard input when no file is given)
//   vorntrace diff trace-a trace-b
//   vorntrace vcd trace-file [-o file.vcd]
//   vorntrace plot trace-file [-o file.svg | file.png]
// -a also shows the port accesses with nothing to tell. Traces may be gzip-compressed.
#include "trace_decoder.h"
#include "trace_diff.h"
#include "trace_io.h"
#include "trace_plot.h"
#include "trace_vcd.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
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
      << "       " << program << " diff trace-a trace-b\n"
      << "       " << program << " vcd trace-file [-o file.vcd]\n"
      << "       " << program << " plot trace-file [-o file.svg | file.png]\n";
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

// "<command> trace-file [-o file]": the trace and the file to write, if named.
bool converted(int argc, char **argv, const char *&trace, const char *&output) {
  trace = output = nullptr;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc && output == nullptr)
      output = argv[++i];
    else if (trace == nullptr && (argv[i][0] != '-' || std::strcmp(argv[i], "-") == 0))
      trace = argv[i];
    else
      return false;
  }
  return trace != nullptr;
}

// The trace of "<command> trace-file [-o file]" opened; 0, or the status to
// end with (a usage or an unreadable trace).
int open_converted(int argc, char **argv, vorn::trace::Input &in, const char *&output) {
  const char *path = nullptr;
  if (!converted(argc, argv, path, output))
    return usage(argv[0]);
  return open_trace(in, path, argv[0]) ? 0 : 2;
}

int vcd(int argc, char **argv) {
  vorn::trace::Input in;
  const char *output = nullptr;
  if (const int refused = open_converted(argc, argv, in, output); refused != 0)
    return refused;
  if (output == nullptr)
    return vorn::sim::trace_to_vcd(in, std::cout, std::cerr);
  std::ofstream file(output, std::ios::binary | std::ios::trunc);
  int status = file ? vorn::sim::trace_to_vcd(in, file, std::cerr) : 2;
  file.close();
  if (!file) {
    std::cerr << argv[0] << ": cannot write " << output << ": " << std::strerror(errno) << '\n';
    status = std::max(status, kExitOutput);
  }
  return status;
}

int plot(int argc, char **argv) {
  vorn::trace::Input in;
  const char *output = nullptr;
  if (const int refused = open_converted(argc, argv, in, output); refused != 0)
    return refused;
  vorn::sim::RunPicture picture;
  const int status = vorn::sim::gather_picture(in, picture, std::cerr);
  if (status == 2)
    return status;
  // What gnuplot writes to standard output goes after ours.
  std::cout.flush();
  const std::string script = vorn::sim::plot_script(picture, output != nullptr ? output : "");
  return std::max(status, vorn::sim::draw_with_gnuplot(script, std::cerr, argv[0]));
}

int run(int argc, char **argv) {
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    print_usage(std::cout, argv[0]);
    return 0;
  }
  if (argc > 1 && std::strcmp(argv[1], "diff") == 0)
    return diff(argc, argv);
  if (argc > 1 && std::strcmp(argv[1], "vcd") == 0)
    return vcd(argc, argv);
  if (argc > 1 && std::strcmp(argv[1], "plot") == 0)
    return plot(argc, argv);
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
