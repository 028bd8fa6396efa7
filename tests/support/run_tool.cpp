#include "run_tool.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <pty.h>
#include <sstream>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char **environ;

namespace vorn::test {

using Clock = std::chrono::steady_clock;

Step signal_after(int sig, milliseconds delay) {
  return {Step::Action::signal, delay, {}, sig, {}};
}
Step signal_on_output(int sig, std::string text) {
  return {Step::Action::signal, milliseconds{0}, std::move(text), sig, {}};
}
Step signal_when_reading(int sig) {
  Step step{Step::Action::signal, milliseconds{0}, {}, sig, {}};
  step.when_reading_input = true;
  return step;
}
Step write_input_after(std::string text, milliseconds delay) {
  return {Step::Action::write_input, delay, {}, 0, std::move(text)};
}
Step close_input_after(milliseconds delay) { return {Step::Action::close_input, delay, {}, 0, {}}; }
Step close_output_on(std::string text) {
  return {Step::Action::close_output, milliseconds{0}, std::move(text), 0, {}};
}
Step stall_output_after(milliseconds delay) {
  return {Step::Action::stall_output, delay, {}, 0, {}};
}
Step resume_output_after(milliseconds delay) {
  return {Step::Action::resume_output, delay, {}, 0, {}};
}
Step signal_when_writing(int sig) {
  Step step{Step::Action::signal, milliseconds{0}, {}, sig, {}};
  step.when_writing_output = true;
  return step;
}

namespace {

// The child's SigCgt mask shows a handler for `sig`.
bool catches(pid_t pid, int sig) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("SigCgt:", 0) == 0)
      return (std::stoull(line.substr(7), nullptr, 16) >> (sig - 1) & 1) != 0;
  }
  return false;
}

// The system call the child sits in and its first argument.
std::pair<long, std::string> blocked_in(pid_t pid) {
  std::ifstream call("/proc/" + std::to_string(pid) + "/syscall");
  long nr = -1;
  std::string first;
  call >> nr >> first;
  return {nr, first};
}

// The child sits in read(0, ...), or waits for descriptor 0 alone with
// pselect (its first argument, the highest descriptor + 1, is 1).
bool reading_input(pid_t pid) {
  const auto [nr, first] = blocked_in(pid);
  return (nr == SYS_read && first == "0x0") || (nr == SYS_pselect6 && first == "0x1");
}

// In write(1, ...), or in ppoll waiting for room to write: the tool polls
// only for that, its output's or its trace's, and a trace in a file never waits.
bool writing_output(pid_t pid) {
  const auto [nr, first] = blocked_in(pid);
  return (nr == SYS_write && first == "0x1") || nr == SYS_ppoll;
}

} // namespace

std::string read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

namespace {

struct Pipe {
  int read_end = -1;
  int write_end = -1;
};

Pipe make_pipe() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0)
    return {};
  return {fds[0], fds[1]};
}

// A raw pseudo-terminal (no line-end translation) as a pipe: the child
// writes the slave side, we read the master side.
Pipe make_terminal() {
  termios raw{};
  cfmakeraw(&raw);
  int master = -1, slave = -1;
  if (openpty(&master, &slave, nullptr, &raw, nullptr) != 0)
    return {};
  fcntl(master, F_SETFD, FD_CLOEXEC);
  fcntl(slave, F_SETFD, FD_CLOEXEC);
  return {master, slave};
}

void close_fd(int &fd) {
  if (fd >= 0)
    close(fd);
  fd = -1;
}

// Our own environment with `extra` set on top, as NAME=value strings.
std::vector<std::string> child_environment(const RunSettings &how) {
  std::vector<std::string> env;
  for (char **e = environ; *e != nullptr; ++e) {
    std::string entry = *e;
    std::string name = entry.substr(0, entry.find('='));
    bool overridden = std::any_of(how.env.begin(), how.env.end(),
                                  [&](const auto &kv) { return kv.first == name; });
    if (!overridden)
      env.push_back(std::move(entry));
  }
  for (const auto &[name, value] : how.env)
    env.push_back(name + "=" + value);
  return env;
}

std::vector<char *> pointers(std::vector<std::string> &strings) {
  std::vector<char *> out;
  for (std::string &s : strings)
    out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

// The parent must survive writing to a child that has stopped reading.
void ignore_broken_pipes() {
  static const bool done = [] {
    std::signal(SIGPIPE, SIG_IGN);
    return true;
  }();
  (void)done;
}

[[noreturn]] void exec_child(const std::string &program, char **argv, char **envp, const Pipe &in,
                             const Pipe &out, const Pipe &err) {
  dup2(in.read_end, STDIN_FILENO);
  dup2(out.write_end, STDOUT_FILENO);
  dup2(err.write_end, STDERR_FILENO);
  std::signal(SIGPIPE, SIG_DFL);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  execve(program.c_str(), argv, envp);
  _exit(127);
}

class Session {
public:
  Session(pid_t pid, const RunSettings &how, int in, int out, int err)
      : pid_(pid), how_(how), in_(in), out_(out), err_(err), pending_(how.input) {
    fcntl(in_, F_SETFL, O_NONBLOCK);
    deadline_ = Clock::now() + how.timeout;
    step_start_ = Clock::now();
    close_input_when_flushed_ = !how.keep_input_open;
  }

  RunResult run() {
    while ((out_ >= 0 || err_ >= 0) && Clock::now() < deadline_) {
      run_due_steps();
      poll_once();
    }
    finish();
    return std::move(result_);
  }

private:
  void run_due_steps() {
    while (result_.steps_done < how_.steps.size()) {
      const Step &step = how_.steps[result_.steps_done];
      if (Clock::now() < step_start_ + step.after)
        return;
      std::size_t end = cursor_;
      if (!step.when_output.empty()) {
        std::size_t at = result_.out.find(step.when_output, cursor_);
        if (at == std::string::npos)
          return;
        end = at + step.when_output.size();
      }
      if (!ready_for(step)) {
        waiting_for_child_ = true;
        return;
      }
      waiting_for_child_ = false;
      act(step);
      cursor_ = end;
      step_start_ = Clock::now();
      ++result_.steps_done;
    }
  }

  bool ready_for(const Step &step) const {
    if (step.action != Step::Action::signal)
      return true;
    // with input still to deliver, a blocked read is not yet the prompt's
    return catches(pid_, step.signal) &&
           (!step.when_reading_input || (pending_.empty() && reading_input(pid_))) &&
           (!step.when_writing_output || writing_output(pid_));
  }

  void act(const Step &step) {
    switch (step.action) {
    case Step::Action::signal:
      kill(pid_, step.signal);
      break;
    case Step::Action::write_input:
      pending_ += step.text;
      break;
    case Step::Action::close_input:
      close_input_when_flushed_ = true;
      break;
    case Step::Action::close_output:
      close_fd(out_);
      break;
    case Step::Action::stall_output:
      output_stalled_ = true;
      break;
    case Step::Action::resume_output:
      output_stalled_ = false;
      break;
    }
  }

  // Waits for output, input room or the next step's delay, whichever first.
  void poll_once() {
    pollfd fds[3] = {{output_stalled_ ? -1 : out_, POLLIN, 0}, {err_, POLLIN, 0}, {-1, POLLOUT, 0}};
    if (in_ >= 0 && !pending_.empty())
      fds[2].fd = in_;
    if (in_ >= 0 && pending_.empty() && close_input_when_flushed_)
      close_fd(in_);
    auto wake = deadline_;
    if (result_.steps_done < how_.steps.size())
      wake = std::min(wake, step_start_ + how_.steps[result_.steps_done].after);
    auto wait = std::chrono::duration_cast<milliseconds>(wake - Clock::now()).count();
    if (waiting_for_child_)
      wait = std::min<long long>(wait, 2); // its state is polled, not signalled
    // Steps waiting for text are looked at again when output arrives.
    if (poll(fds, 3, static_cast<int>(std::clamp<long long>(wait, 0, 1000))) < 0)
      return;
    drain(fds[0], out_, result_.out);
    drain(fds[1], err_, result_.err);
    if (fds[2].revents != 0)
      feed_input();
  }

  static void drain(const pollfd &p, int &fd, std::string &into) {
    if (fd < 0 || p.revents == 0)
      return;
    char chunk[4096];
    ssize_t n = read(fd, chunk, sizeof chunk);
    if (n > 0)
      into.append(chunk, static_cast<std::size_t>(n));
    else if (n == 0 || errno != EINTR)
      close_fd(fd);
  }

  void feed_input() {
    ssize_t n = write(in_, pending_.data(), pending_.size());
    if (n > 0)
      pending_.erase(0, static_cast<std::size_t>(n));
    else if (n < 0 && errno != EAGAIN && errno != EINTR)
      close_fd(in_); // the child stopped reading
  }

  void finish() {
    close_fd(in_);
    close_fd(out_);
    close_fd(err_);
    int status = 0;
    while (true) {
      pid_t r = waitpid(pid_, &status, WNOHANG);
      if (r == pid_)
        break;
      if (r < 0 && errno != EINTR)
        return;
      if (Clock::now() >= deadline_ && !result_.timed_out) {
        result_.timed_out = true;
        kill(pid_, SIGKILL);
      }
      usleep(1000);
    }
    if (WIFEXITED(status))
      result_.exit_status = WEXITSTATUS(status);
    if (WIFSIGNALED(status))
      result_.term_signal = WTERMSIG(status);
  }

  pid_t pid_;
  const RunSettings &how_;
  int in_, out_, err_;
  std::string pending_;
  bool close_input_when_flushed_;
  bool waiting_for_child_ = false;
  bool output_stalled_ = false;
  Clock::time_point deadline_;
  Clock::time_point step_start_;
  std::size_t cursor_ = 0;
  RunResult result_;
};

} // namespace

RunResult run_tool(const std::string &program, const RunSettings &how) {
  ignore_broken_pipes();
  std::vector<std::string> arg_strings{program};
  arg_strings.insert(arg_strings.end(), how.args.begin(), how.args.end());
  std::vector<std::string> env_strings = child_environment(how);
  std::vector<char *> argv = pointers(arg_strings);
  std::vector<char *> envp = pointers(env_strings);

  Pipe in = make_pipe(), err = make_pipe();
  if (how.input_on_terminal) {
    const Pipe terminal = make_terminal();
    close_fd(in.read_end);
    close_fd(in.write_end);
    in = {terminal.write_end, terminal.read_end}; // the child reads the slave side
  }
  Pipe out = how.output_on_terminal ? make_terminal() : make_pipe();
  pid_t pid = fork();
  if (pid == 0)
    exec_child(program, argv.data(), envp.data(), in, out, err);
  close_fd(in.read_end);
  close_fd(out.write_end);
  close_fd(err.write_end);
  if (pid < 0) {
    close_fd(in.write_end);
    close_fd(out.read_end);
    close_fd(err.read_end);
    return {};
  }
  return Session(pid, how, in.write_end, out.read_end, err.read_end).run();
}

} // namespace vorn::test
