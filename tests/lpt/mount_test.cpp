// vornsim-lpt on a real FUSE mount: the ppdev ioctls through the kernel,
// the counts at unmount, and the mount points it refuses. Skipped where
// FUSE cannot be used (no /dev/fuse, no fusermount3 for a user).
#include "run_tool.h"
#include "scratch_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <linux/parport.h>
#include <linux/ppdev.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

using vorn::test::read_file;
using vorn::test::ScratchDir;

bool fuse_usable() {
  const int fd = ::open("/dev/fuse", O_RDWR);
  if (fd < 0)
    return false;
  ::close(fd);
  return geteuid() == 0 || ::access("/usr/bin/fusermount3", X_OK) == 0 ||
         ::access("/bin/fusermount3", X_OK) == 0;
}

// The program in the foreground, as a child.
pid_t serve(const std::vector<std::string> &args) {
  const pid_t pid = fork();
  if (pid == 0) {
    std::vector<char *> argv{const_cast<char *>(VORNSIM_LPT)};
    for (const std::string &a : args)
      argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    execv(VORNSIM_LPT, argv.data());
    _exit(127);
  }
  return pid;
}

bool appears(const std::string &path) {
  for (int i = 0; i < 100; ++i) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
      return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

int exit_status(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

vorn::test::RunResult run_beside(const std::string &mount) {
  return vorn::test::run_tool(
      VORNSIM_LPT, {.args = {"--foreground", mount}, .env = {}, .input = {}, .steps = {}});
}

class VornsimLpt : public testing::Test {
protected:
  void SetUp() override {
    if (!fuse_usable())
      GTEST_SKIP() << "FUSE is not usable here";
  }
  // A fresh, empty mount point.
  void make_mount() { ASSERT_EQ(::mkdir(mount.c_str(), 0755), 0); }

  ScratchDir dir;
  const std::string mount = dir.file("mnt");
};

TEST_F(VornsimLpt, ServesThePortThroughTheKernelAndCountsAtUnmount) {
  make_mount();
  const pid_t pid = serve({"--foreground", "--stats", dir.file("stats"), mount});
  ASSERT_TRUE(appears(mount + "/parport0"));

  const int fd = ::open((mount + "/parport0").c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  unsigned modes = 0;
  EXPECT_EQ(::ioctl(fd, PPCLAIM), 0);
  EXPECT_EQ(::ioctl(fd, PPGETMODES, &modes), 0);
  EXPECT_NE(modes & PARPORT_MODE_EPP, 0u);
  int mode = IEEE1284_MODE_EPP | IEEE1284_ADDR;
  EXPECT_EQ(::ioctl(fd, PPSETMODE, &mode), 0);
  const unsigned char id_of_block_4 = 0x4F;
  EXPECT_EQ(::write(fd, &id_of_block_4, 1), 1);
  int reverse = 1;
  EXPECT_EQ(::ioctl(fd, PPDATADIR, &reverse), 0);
  mode = IEEE1284_MODE_EPP;
  EXPECT_EQ(::ioctl(fd, PPSETMODE, &mode), 0);
  unsigned char bytes[4] = {};
  EXPECT_EQ(::read(fd, bytes, 4), 1) << "block 5 is empty: the second cycle comes back short";
  EXPECT_EQ(bytes[0], 0x31) << "the digital I/O board's ID";
  // Left in EPP mode, the close would make the kernel negotiate back with
  // nInit low, and FUSE delivers the release after close() has returned.
  mode = IEEE1284_MODE_COMPAT;
  EXPECT_EQ(::ioctl(fd, PPSETMODE, &mode), 0);
  ::close(fd);

  EXPECT_EQ(kill(pid, SIGTERM), 0);
  EXPECT_EQ(exit_status(pid), 0);
  const std::string stats = read_file(dir.file("stats"));
  EXPECT_NE(stats.find("parport0 end: accesses=5 "), std::string::npos) << stats;
  EXPECT_NE(stats.find(" short_cycles=1 "), std::string::npos) << stats;
  struct stat st {};
  EXPECT_EQ(::stat((mount + "/parport0").c_str(), &st), -1) << "unmounted";
}

TEST_F(VornsimLpt, RefusesAMissingOrBusyMountPoint) {
  vorn::test::RunResult missing = run_beside(mount);
  EXPECT_EQ(missing.exit_status, 2);
  EXPECT_NE(missing.err.find("mkdir"), std::string::npos) << missing.err;

  make_mount();
  const pid_t pid = serve({"--foreground", mount});
  ASSERT_TRUE(appears(mount + "/parport0"));
  vorn::test::RunResult busy = run_beside(mount);
  EXPECT_EQ(busy.exit_status, 2);
  EXPECT_NE(busy.err.find("in use"), std::string::npos) << busy.err;
  kill(pid, SIGTERM);
  EXPECT_EQ(exit_status(pid), 0);
}

TEST_F(VornsimLpt, EndsWhenItsLastUserClosesThePort) {
  make_mount();
  const pid_t pid = serve({"--foreground", "--exit-on-close", mount});
  ASSERT_TRUE(appears(mount + "/parport0"));
  const int fd = ::open((mount + "/parport0").c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(::open((mount + "/parport0").c_str(), O_RDWR), -1) << "one user at a time";
  ::close(fd);
  EXPECT_EQ(exit_status(pid), 0);
}

} // namespace
