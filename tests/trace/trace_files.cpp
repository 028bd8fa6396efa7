#include "trace_files.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace vorn::test {

std::string TraceFiles::write(const std::string &name, const std::string &bytes) const {
  std::ofstream(path(name), std::ios::binary) << bytes;
  return path(name);
}

std::string TraceFiles::read(const std::string &name) const {
  std::ifstream in(path(name), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string TraceFiles::write_gzip(const std::string &name, const std::string &text) const {
  const std::string plain = write(name + ".plain", text);
  const std::string command = "gzip -c '" + plain + "' > '" + path(name) + "'";
  if (std::system(command.c_str()) != 0)
    throw std::runtime_error("gzip failed");
  return path(name);
}

} // namespace vorn::test
