// The communication test for over ten million cycles on the virtual-clock
// simulator: no error may show, and the peak resident size of the tool
// must not grow between the millionth and the ten-millionth cycle.
// Run by `make soak`; prints its figures and exits 0 when all hold.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

constexpr long kFirstSample = 1000000;
constexpr long kSecondSample = 10000000;
// Samples are taken as the summary lines arrive, a pipe buffer at a time;
// the run goes on a while past the second so that it is not taken at exit.
constexpr long kCycles = 10200000;
// A cycle on a clean bus costs 86 port accesses; the scripted Ctrl-C comes
// half-way through cycle kCycles, after a start-up shorter than 43 accesses.
constexpr long kAccessesPerCycle = 86;
constexpr long kAllowedGrowthKib = 64;

long status_kib(pid_t pid, const char *field) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind(field, 0) == 0)
      return std::atol(line.c_str() + std::string(field).size());
  return -1;
}

struct Sample {
  long cycles = 0;
  long hwm_kib = -1;
  long rss_kib = -1;
};

} // namespace

int main() {
  char dir[] = "/tmp/vorn-soak-XXXXXX";
  if (mkdtemp(dir) == nullptr)
    return 2;
  const std::string rig = std::string(dir) + "/soak.toml";
  std::ofstream(rig) << "clock = \"virtual\"\ninterrupt_after = "
                     << kAccessesPerCycle * kCycles + kAccessesPerCycle / 2 << "\n";

  int out[2];
  if (pipe(out) != 0)
    return 2;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    setenv("VORNSIM_RIG", rig.c_str(), 1);
    execl(VORNDIAG_SIM, VORNDIAG_SIM, "378", "commtest", static_cast<char *>(nullptr));
    _exit(127);
  }
  close(out[1]);
  std::FILE *lines = fdopen(out[0], "r");
  Sample first, second;
  long last_cycles = 0;
  long summaries = 0, faulty = 0;
  char line[256];
  while (std::fgets(line, sizeof line, lines) != nullptr) {
    long cycles = 0, errors = 0;
    if (std::strcmp(line, "io addr = 378\n") == 0 ||
        std::strcmp(line, "parport addr 0x378 \n") == 0)
      continue;
    if (std::sscanf(line, " %ld test cycles, %ld errors", &cycles, &errors) != 2 || errors != 0) {
      if (++faulty <= 5)
        std::fprintf(stderr, "soak: unexpected line: %s", line);
      continue;
    }
    ++summaries;
    Sample now{cycles, status_kib(pid, "VmHWM:"), status_kib(pid, "VmRSS:")};
    if (first.cycles == 0 && cycles >= kFirstSample)
      first = now;
    if (second.cycles == 0 && cycles >= kSecondSample)
      second = now;
    last_cycles = cycles;
  }
  std::fclose(lines);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  std::remove(rig.c_str());
  rmdir(dir);

  std::printf("soak: %ld cycles, %ld summary lines, %ld other lines, exit status %d\n", last_cycles,
              summaries, faulty, WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  std::printf("soak: peak resident %ld KiB (resident %ld KiB) when cycle %ld was reported\n",
              first.hwm_kib, first.rss_kib, first.cycles);
  std::printf("soak: peak resident %ld KiB (resident %ld KiB) when cycle %ld was reported\n",
              second.hwm_kib, second.rss_kib, second.cycles);
  std::printf("soak: peak resident at exit %ld KiB; %.1f s user, %.1f s system\n", usage.ru_maxrss,
              static_cast<double>(usage.ru_utime.tv_sec) + usage.ru_utime.tv_usec / 1e6,
              static_cast<double>(usage.ru_stime.tv_sec) + usage.ru_stime.tv_usec / 1e6);
  const bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 && faulty == 0 &&
                  last_cycles == kCycles && summaries == kCycles / 1000 && first.hwm_kib > 0 &&
                  second.hwm_kib - first.hwm_kib <= kAllowedGrowthKib;
  std::printf("soak: %s\n", ok ? "passed" : "FAILED");
  return ok ? 0 : 1;
}
