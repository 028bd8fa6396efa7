#include "replay_run.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace replaytest {

RunResult record(Scratch &scratch, const Recording &r, const std::string &trace) {
  const std::string rig = scratch.file("rig" + std::to_string(std::rand()) + ".toml");
  std::ofstream(rig) << "clock = \"virtual\"\n" << r.rig << "\n";
  vorn::test::RunSettings how;
  how.args = r.args;
  how.env = r.env;
  how.env.push_back({"VORNSIM_RIG", rig});
  if (!trace.empty())
    how.env.push_back({"VORNSIM_TRACE", trace});
  how.input = r.input;
  how.keep_input_open = r.keep_input_open;
  how.steps = r.steps;
  return vorn::test::run_tool(VORNDIAG_SIM, how);
}

RunResult replay(const std::string &trace, const std::vector<std::string> &args,
                 const std::string &input, std::vector<std::pair<std::string, std::string>> env) {
  vorn::test::RunSettings how;
  how.args = args;
  how.env = std::move(env);
  how.env.push_back({"VORNSIM_REPLAY", trace});
  how.input = input;
  return vorn::test::run_tool(VORNDIAG_SIM, how);
}

std::string as_older_trace(Scratch &scratch, const std::string &trace) {
  const std::string older = scratch.file("older.trace");
  std::ofstream out(older);
  for (const std::string &line : lines_of(vorn::test::read_file(trace)))
    if (!line.starts_with("# t ") && !line.starts_with("# key "))
      out << line << '\n';
  return older;
}

std::vector<std::string> lines_of(const std::string &text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

std::string joined(const std::vector<std::string> &lines) {
  std::string text;
  for (const std::string &line : lines)
    text += line + "\n";
  return text;
}

} // namespace replaytest
