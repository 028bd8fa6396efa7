#include "forked_trace.h"

#include "extintf.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace vorn::test {

std::vector<std::string> forked_trace(const std::string &path, bool fork_child,
                                      bool (*start)(const std::string &path), RunEnd end) {
  std::remove(path.c_str());
  const pid_t run = fork();
  if (run == 0) {
    if (end == RunEnd::in_atexit_handler)
      std::atexit([] { extMotQuit(); });
    if (!start(path))
      _exit(2);
    if (fork_child) {
      const pid_t child = fork();
      if (child == 0)
        std::exit(0);
      waitpid(child, nullptr, 0);
    }
    if (end == RunEnd::shut_down)
      extMotQuit();
    std::exit(0);
  }
  int status = 0;
  EXPECT_EQ(waitpid(run, &status, 0), run);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  std::ifstream trace(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(trace, line);)
    if (line.rfind("# t ", 0) != 0)
      lines.push_back(line);
  return lines;
}

void expect_child_writes_none(const std::string &path, bool (*start)(const std::string &path)) {
  const std::vector<std::string> alone = forked_trace(path, false, start);
  ASSERT_FALSE(alone.empty());
  EXPECT_EQ(forked_trace(path, true, start), alone);
}

bool holds_in_forked_child(const std::function<bool()> &check) {
  const pid_t child = fork();
  if (child == 0)
    std::exit(check() ? 0 : 1);
  int status = 0;
  return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

} // namespace vorn::test
