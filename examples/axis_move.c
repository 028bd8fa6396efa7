/*
 * axis_move: brings axis 0 to a target encoder count with a proportional
 * position loop, through the ext interface. The rate driver's report of
 * every write is switched off (vornRateReportTo), as a servo loop's output
 * is its own.
 *
 *   axis_move <target count>
 *
 * Built with AXIS_MOVE_SIM defined it drives the simulated board set
 * (VORNSIM_RIG and VORNSIM_TRACE as for vorndiag-sim); without, the boards
 * on the parallel port at 0x378, which needs root. The loop is the same.
 */
#define _POSIX_C_SOURCE 200809L

#include <vorn/extintf.h>
#include <vorn/vorn.h>

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#ifdef AXIS_MOVE_SIM
#include <vorn/vornsim.h>
#endif

enum { AXIS = 0 };

/* One loop period. The rate generator moves 2000 counts per second per
 * volt, so a command of v volts moves 2 * v counts in a period. */
static const unsigned long kPeriodUs = 1000;
/* 0.25 V per count of error moves at most half the error in a period: the
 * axis never overshoots. One count of error still commands 0.25 V (500
 * pulses per second), far above the 0.001 V below which a channel does not
 * run, so the loop reaches the target exactly instead of stalling a few
 * counts short. */
static const double kGain = 0.25;
/* 10 V: 20000 pulses per second, below the generator's fastest rate. */
static const double kMaxVolts = 10.0;
static const double kGiveUpSeconds = 60.0;

static int start_driver(void) {
  vornRateReportTo(NULL);
  if (extMotInit(NULL) != 0) {
    fprintf(stderr, "axis_move: cannot access the I/O ports: %s\n", strerror(errno));
    return -1;
  }
  return 0;
}

#ifdef AXIS_MOVE_SIM
static int start_boards(void) {
  const char *rig = getenv("VORNSIM_RIG");
  const char *trace = getenv("VORNSIM_TRACE");
  if (vornsim_install(rig != NULL && *rig != '\0' ? rig : NULL) != 0)
    return -1;
  if (trace != NULL && *trace != '\0' && vornsim_trace(trace) != 0) {
    fprintf(stderr, "axis_move: cannot write trace file %s: %s\n", trace, strerror(errno));
    return -1;
  }
  return start_driver();
}

/* The simulator's clock: virtual time when the rig asks for it. */
static double now_seconds(void) { return (double)vornsim_now_us() / 1e6; }
static void wait_period(void) { vornsim_advance_us(kPeriodUs); }
#else
static int start_boards(void) { return start_driver(); }

static double now_seconds(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

static void wait_period(void) {
  struct timespec t = {0, (long)kPeriodUs * 1000L};
  nanosleep(&t, NULL);
}
#endif

static long read_count(void) {
  double counts = 0.0;
  extEncoderRead(AXIS, &counts);
  return (long)counts;
}

/* A positive command counts down, the polarity the diagnostic servo test
 * assumes; 0 V, which stops the channel, exactly at the target. */
static double command_for(long error) {
  double volts = kGain * (double)error;
  if (volts > kMaxVolts)
    return kMaxVolts;
  if (volts < -kMaxVolts)
    return -kMaxVolts;
  return volts;
}

int main(int argc, char **argv) {
  char *end = NULL;
  long target;
  long start_count;
  long count;
  double started;
  double last_volts = 0.0; /* the start-up stopped every channel */

  if (argc != 2 || (target = strtol(argv[1], &end, 10), *end != '\0' || end == argv[1])) {
    fprintf(stderr, "usage: %s <target count>\n", argv[0]);
    return 1;
  }
  if (start_boards() != 0)
    return 2;

  start_count = count = read_count();
  started = now_seconds();
  for (;;) {
    const double volts = command_for(count - target);
    /* Done when the count is at the target and the channel was already
     * stopped for the whole period before it was read: nothing moves on. */
    if (volts == 0.0 && last_volts == 0.0)
      break;
    if (now_seconds() - started > kGiveUpSeconds) {
      extMotQuit();
      fprintf(stderr, "axis_move: still at %ld, not %ld, after %.0f s\n", count, target,
              kGiveUpSeconds);
      return 3;
    }
    /* Writing only changes lets a slow pulse period run to its end. */
    if (volts != last_volts) {
      extRateWrite(AXIS, volts);
      last_volts = volts;
    }
    wait_period();
    count = read_count();
  }
  extMotQuit();

  printf("axis %d: start count %ld, target %ld, final count %ld, %.3f s\n", AXIS, start_count,
         target, count, now_seconds() - started);
  return 0;
}
