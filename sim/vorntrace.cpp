// vorntrace: a port trace of vorndiag-sim as bus cycles.
//   vorntrace [-a] [trace-file]     (standard input when no file is given)
// -a also shows the port accesses with nothing to tell.
#include "trace_decoder.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>

int main(int argc, char **argv) {
  bool all = false;
  const char *path = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-a") == 0) {
      all = true;
    } else if (path == nullptr && argv[i][0] != '-') {
      path = argv[i];
    } else {
      std::cerr << "usage: " << argv[0] << " [-a] [trace-file]\n";
      return 2;
    }
  }
  if (path == nullptr)
    return vorn::sim::decode_trace(std::cin, std::cout, std::cerr, "<stdin>", all);
  std::ifstream in(path);
  if (!in) {
    std::cerr << argv[0] << ": cannot read " << path << ": " << std::strerror(errno) << '\n';
    return 2;
  }
  return vorn::sim::decode_trace(in, std::cout, std::cerr, path, all);
}
