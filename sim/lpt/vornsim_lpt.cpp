// vornsim-lpt: the simulated board set on parallel-port files in a FUSE
// mount, for QEMU's pass-through port (-chardev parallel,path=MOUNT/parport0).
// MOUNT/parportN answers the ppdev requests from the N+1-th rig; a line
// written to MOUNT/marks puts the counts of every port so far in the stats
// file, so that a guest can frame what it wants counted; the line
// "!power-on" puts every port's boards back to their power-on state.
#define FUSE_USE_VERSION 35

#include "marks_line.h"
#include "parport_bridge.h"
#include "trace_io.h"
#include "vornsim.hpp"

#include <fuse.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kExitRuntime = 1;
constexpr int kExitSetup = 2;
constexpr char kMarks[] = "marks";
constexpr char kPowerOn[] = "!power-on";
constexpr std::uint64_t kMarksHandle = ~0ull;

struct Port {
  vorn::sim::Rig rig;
  std::unique_ptr<vorn::sim::Simulator> sim;
  std::unique_ptr<vorn::trace::Output> trace;
  std::unique_ptr<vorn::sim::ParportBridge> bridge;
};

struct Options {
  std::vector<std::string> rigs;
  std::vector<std::string> traces;
  std::string stats;
  std::string mountpoint;
  bool foreground = false;
  bool exit_on_close = false;
  bool allow_other = false;
};

struct Server {
  Options options;
  std::vector<Port> ports;
  std::FILE *stats = nullptr;
  vorn::sim::MarksLine marks;
  bool served = false; // a port has been opened
  int open_ports = 0;
};

Server server;

void usage(std::FILE *out) {
  std::fputs("usage: vornsim-lpt [--rig FILE]... [--trace FILE]... [--stats FILE]\n"
             "                   [--foreground] [--exit-on-close] [--allow-other] MOUNTPOINT\n"
             "Serves MOUNTPOINT/parport0 (one more per further --rig) for QEMU:\n"
             "  -chardev parallel,id=lpt0,path=MOUNTPOINT/parport0\n"
             "  -device isa-parallel,chardev=lpt0,iobase=0x378,irq=7\n",
             out);
}

// The port of a path "/parportN", or -1.
int port_of(const char *path) {
  const std::string name = path;
  const std::string prefix = "/parport";
  if (name.rfind(prefix, 0) != 0 || name.size() == prefix.size())
    return -1;
  char *end = nullptr;
  const long n = std::strtol(name.c_str() + prefix.size(), &end, 10);
  if (*end != '\0' || n < 0 || n >= static_cast<long>(server.ports.size()))
    return -1;
  return static_cast<int>(n);
}

bool is_marks(const char *path) { return path == std::string("/") + kMarks; }

void power_on() {
  for (Port &port : server.ports) {
    auto fresh = std::make_unique<vorn::sim::Simulator>(port.rig);
    port.bridge->power_on(*fresh);
    port.sim = std::move(fresh);
  }
}

void write_counts(const std::string &label) {
  for (std::size_t i = 0; i < server.ports.size(); ++i) {
    server.ports[i].bridge->note("mark " + label);
    if (server.stats != nullptr)
      std::fprintf(server.stats, "parport%zu %s: %s\n", i, label.c_str(),
                   server.ports[i].bridge->counts_line().c_str());
  }
  if (server.stats != nullptr)
    std::fflush(server.stats);
}

int fs_getattr(const char *path, struct stat *st, fuse_file_info *) {
  *st = {};
  st->st_uid = getuid();
  st->st_gid = getgid();
  if (std::strcmp(path, "/") == 0) {
    st->st_mode = S_IFDIR | 0755;
    st->st_nlink = 2;
  } else if (port_of(path) >= 0 || is_marks(path)) {
    st->st_mode = S_IFREG | 0660;
    st->st_nlink = 1;
  } else {
    return -ENOENT;
  }
  return 0;
}

int fs_readdir(const char *path, void *buf, fuse_fill_dir_t fill, off_t, fuse_file_info *,
               fuse_readdir_flags) {
  if (std::strcmp(path, "/") != 0)
    return -ENOTDIR;
  fill(buf, ".", nullptr, 0, FUSE_FILL_DIR_PLUS);
  fill(buf, "..", nullptr, 0, FUSE_FILL_DIR_PLUS);
  for (std::size_t i = 0; i < server.ports.size(); ++i)
    fill(buf, ("parport" + std::to_string(i)).c_str(), nullptr, 0, FUSE_FILL_DIR_PLUS);
  fill(buf, kMarks, nullptr, 0, FUSE_FILL_DIR_PLUS);
  return 0;
}

int fs_open(const char *path, fuse_file_info *fi) {
  // Every byte is a bus cycle: no page cache, no read-ahead, no offsets.
  fi->direct_io = 1;
  fi->nonseekable = 1;
  if (is_marks(path)) {
    fi->fh = kMarksHandle;
    return 0;
  }
  const int n = port_of(path);
  if (n < 0)
    return -ENOENT;
  const int result = server.ports[n].bridge->open((fi->flags & O_NONBLOCK) != 0);
  if (result == 0) {
    fi->fh = static_cast<std::uint64_t>(n);
    server.served = true;
    ++server.open_ports;
  }
  return result;
}

int fs_release(const char *, fuse_file_info *fi) {
  if (fi->fh == kMarksHandle)
    return 0;
  server.ports[fi->fh].bridge->close();
  if (--server.open_ports == 0 && server.options.exit_on_close)
    fuse_exit(fuse_get_context()->fuse);
  return 0;
}

int fs_read(const char *, char *buf, size_t size, off_t, fuse_file_info *fi) {
  if (fi->fh == kMarksHandle)
    return 0;
  return static_cast<int>(
      server.ports[fi->fh].bridge->read(reinterpret_cast<std::uint8_t *>(buf), size));
}

int fs_write(const char *, const char *buf, size_t size, off_t, fuse_file_info *fi) {
  if (fi->fh != kMarksHandle)
    return static_cast<int>(
        server.ports[fi->fh].bridge->write(reinterpret_cast<const std::uint8_t *>(buf), size));
  server.marks.take({buf, size}, [](const std::string &line) {
    if (line == kPowerOn)
      power_on();
    else
      write_counts(line);
  });
  return static_cast<int>(size);
}

// QEMU opens a file chardev with O_TRUNC; nothing here has a length.
int fs_truncate(const char *path, off_t, fuse_file_info *) {
  return port_of(path) >= 0 || is_marks(path) ? 0 : -ENOENT;
}

int fs_ioctl(const char *, unsigned int cmd, void *, fuse_file_info *fi, unsigned int flags,
             void *data) {
  if (fi->fh == kMarksHandle)
    return -ENOTTY;
  if (flags & FUSE_IOCTL_COMPAT)
    return -ENOSYS;
  return server.ports[fi->fh].bridge->ioctl(cmd, data);
}

// Argument errors and mount points that cannot be used end the program
// before anything is mounted.
bool parse(int argc, char **argv, Options &o) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string &into) {
      if (i + 1 >= argc)
        return false;
      into = argv[++i];
      return true;
    };
    std::string v;
    if (arg == "--rig" && value(v))
      o.rigs.push_back(v);
    else if (arg == "--trace" && value(v))
      o.traces.push_back(v);
    else if (arg == "--stats" && value(v))
      o.stats = v;
    else if (arg == "--foreground" || arg == "-f")
      o.foreground = true;
    else if (arg == "--exit-on-close")
      o.exit_on_close = true;
    else if (arg == "--allow-other")
      o.allow_other = true;
    else if (arg.empty() || arg[0] == '-' || !o.mountpoint.empty())
      return false;
    else
      o.mountpoint = arg;
  }
  return !o.mountpoint.empty();
}

bool usable_mountpoint(const std::string &path) {
  struct stat st {};
  struct stat parent {};
  if (stat(path.c_str(), &st) != 0) {
    if (errno == ENOTCONN)
      std::fprintf(stderr, "vornsim-lpt: %s is a mount whose server has gone: fusermount3 -u %s\n",
                   path.c_str(), path.c_str());
    else
      std::fprintf(stderr, "vornsim-lpt: mount point %s: %s (make it with mkdir)\n", path.c_str(),
                   std::strerror(errno));
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    std::fprintf(stderr, "vornsim-lpt: mount point %s is not a folder\n", path.c_str());
    return false;
  }
  if (stat((path + "/..").c_str(), &parent) == 0 &&
      (parent.st_dev != st.st_dev || parent.st_ino == st.st_ino)) {
    std::fprintf(stderr,
                 "vornsim-lpt: %s is in use: a file system is mounted there (unmount it, or "
                 "choose an empty folder)\n",
                 path.c_str());
    return false;
  }
  return true;
}

// Paths are taken before a daemon leaves the working folder.
std::string absolute(const std::string &path) {
  if (path.empty() || path[0] == '/')
    return path;
  char cwd[PATH_MAX];
  return getcwd(cwd, sizeof cwd) != nullptr ? std::string(cwd) + "/" + path : path;
}

bool make_ports(Server &s) {
  std::vector<std::string> rigs = s.options.rigs;
  if (rigs.empty())
    rigs.emplace_back();
  for (std::size_t i = 0; i < rigs.size(); ++i) {
    Port port;
    try {
      port.rig = rigs[i].empty() ? vorn::sim::default_rig() : vorn::sim::load_rig(rigs[i]);
      port.sim = std::make_unique<vorn::sim::Simulator>(port.rig);
    } catch (const vorn::sim::RigError &e) {
      std::fprintf(stderr, "vornsim-lpt: %s\n", e.what());
      return false;
    }
    if (i < s.options.traces.size()) {
      port.trace = std::make_unique<vorn::trace::Output>();
      if (!port.trace->open(s.options.traces[i])) {
        std::fprintf(stderr, "vornsim-lpt: cannot write trace file %s: %s\n",
                     s.options.traces[i].c_str(), std::strerror(errno));
        return false;
      }
      port.trace->begin(); // the bridge is the port: there is nothing to be refused
    }
    port.bridge = std::make_unique<vorn::sim::ParportBridge>(*port.sim, port.trace.get());
    s.ports.push_back(std::move(port));
  }
  if (!s.options.stats.empty()) {
    s.stats = std::fopen(absolute(s.options.stats).c_str(), "w");
    if (s.stats == nullptr) {
      std::fprintf(stderr, "vornsim-lpt: cannot write stats file %s: %s\n", s.options.stats.c_str(),
                   std::strerror(errno));
      return false;
    }
  }
  return true;
}

// Mounts, serves until unmounted or told to stop, unmounts. A stop by
// SIGINT, SIGTERM or SIGHUP is a clean end.
int serve(const fuse_operations &ops) {
  const Options &o = server.options;
  std::vector<std::string> args = {"vornsim-lpt", "-o", "fsname=vornsim-lpt,subtype=vornsim-lpt"};
  if (o.allow_other)
    args.insert(args.end(), {"-o", "allow_other"});
  std::vector<char *> argv;
  for (std::string &a : args)
    argv.push_back(a.data());
  fuse_args fargs = FUSE_ARGS_INIT(static_cast<int>(argv.size()), argv.data());
  fuse *f = fuse_new(&fargs, &ops, sizeof ops, nullptr);
  fuse_opt_free_args(&fargs); // fuse_new may have copied them
  if (f == nullptr)
    return kExitRuntime;
  int status = kExitRuntime;
  if (fuse_mount(f, o.mountpoint.c_str()) == 0) {
    fuse_session *session = fuse_get_session(f);
    if (fuse_set_signal_handlers(session) == 0) {
      if (fuse_daemonize(o.foreground ? 1 : 0) == 0) {
        // One thread: the board set is single-threaded like the bus.
        const int end = fuse_loop(f);
        status = end == 0 || end == SIGINT || end == SIGTERM || end == SIGHUP ? 0 : kExitRuntime;
      }
      fuse_remove_signal_handlers(session);
    }
    fuse_unmount(f);
  }
  fuse_destroy(f);
  return status;
}

} // namespace

int main(int argc, char **argv) {
  Options &o = server.options;
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    usage(stdout);
    return 0;
  }
  if (!parse(argc, argv, o)) {
    usage(stderr);
    return kExitSetup;
  }
  if (!usable_mountpoint(o.mountpoint) || !make_ports(server))
    return kExitSetup;

  fuse_operations ops{};
  ops.getattr = fs_getattr;
  ops.readdir = fs_readdir;
  ops.open = fs_open;
  ops.release = fs_release;
  ops.read = fs_read;
  ops.write = fs_write;
  ops.truncate = fs_truncate;
  ops.ioctl = fs_ioctl;

  const int result = serve(ops);
  write_counts("end");
  for (Port &port : server.ports)
    if (port.trace && !port.trace->close())
      std::fprintf(stderr, "vornsim-lpt: the trace was not written whole: %s\n",
                   std::strerror(port.trace->error()));
  if (server.stats != nullptr)
    std::fclose(server.stats);
  return result;
}
