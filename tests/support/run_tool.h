// Runs a program as a child process with arguments, extra environment and
// keyboard text, optionally acting on it while it runs (a signal, more
// input, closing its input or output) after a delay or once some text has
// appeared on its output, and captures its output and exit status.
#ifndef VORN_TEST_RUN_TOOL_H
#define VORN_TEST_RUN_TOOL_H

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace vorn::test {

using std::chrono::milliseconds;

// One action of a scripted run. Steps run in order; a step is due once
// `after` has passed since the previous step and, if `when_output` is set,
// once standard output shows that text past the previous step's match.
// A signal is never sent before the child has a handler for it, so a slow
// start (a loaded machine, sanitizers) cannot turn it into a kill.
struct Step {
  enum class Action { signal, write_input, close_input, close_output, stall_output, resume_output };
  Action action;
  milliseconds after{0};
  std::string when_output;
  int signal = 0;                   // for Action::signal
  std::string text;                 // for Action::write_input
  bool when_reading_input = false;  // also wait until the child blocks reading stdin
  bool when_writing_output = false; // also wait until the child blocks writing stdout
};

Step signal_after(int sig, milliseconds delay);
Step signal_on_output(int sig, std::string text);
// Once the child waits at a prompt: blocked reading its standard input.
Step signal_when_reading(int sig);
Step write_input_after(std::string text, milliseconds delay);
Step close_input_after(milliseconds delay);
// The reading end of the output pipe is closed: later writes meet a
// broken pipe.
Step close_output_on(std::string text);
// A reader that stops reading the output for a while: the pipe fills and
// the child blocks writing it.
Step stall_output_after(milliseconds delay);
Step resume_output_after(milliseconds delay);
// Once the child is blocked writing its standard output.
Step signal_when_writing(int sig);

struct RunSettings {
  std::vector<std::string> args;                        // argv[1] onward
  std::vector<std::pair<std::string, std::string>> env; // on top of ours
  std::string input;                                    // standard input
  bool keep_input_open = false;                         // else closed once `input` is written
  std::vector<Step> steps;
  milliseconds timeout{20000};     // then the child is killed
  bool output_on_terminal = false; // standard output a pseudo-terminal, not a pipe
  bool input_on_terminal = false;  // standard input a pseudo-terminal, not a pipe
};

struct RunResult {
  std::string out;
  std::string err;
  int exit_status = -1; // -1 unless the child exited
  int term_signal = 0;  // the signal that ended it, if any
  bool timed_out = false;
  std::size_t steps_done = 0;
};

RunResult run_tool(const std::string &program, const RunSettings &how);

// The whole text of a file, empty if it cannot be read.
std::string read_file(const std::string &path);

} // namespace vorn::test

#endif
