/*
 * vornsim.h: the simulated board set for C clients. Link vorn::sim and call
 * vornsim_install() before extMotInit()/vornMotInit(): from then on every
 * port access of libvorn reaches the simulator instead of the hardware. As
 * on the PC, calls that reach the bus are refused until extMotInit(), and so
 * is a path that names no parallel-port device.
 *
 * One simulator per process. At exit it lists protocol errors and accesses
 * to registers the board set lacks on standard error, and closes its trace.
 */
#ifndef VORNSIM_H
#define VORNSIM_H

#include "vornsim_export.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Installs a simulator built from the rig file at `rig_path`, or from the
 * default rig when it is NULL; replaces a simulator installed before.
 * Returns 0, or -1 after printing the rig error on standard error. */
VORNSIM_API int vornsim_install(const char *rig_path);

/* Writes the port trace to `path` from now on; 0, or -1 with errno set.
 * It puts the simulator in place anew: call it before extMotInit(), as
 * after it the bus waits for the next start-up. */
VORNSIM_API int vornsim_trace(const char *path);

/* Plays the port trace at `path` (plain or gzip-compressed) back as the
 * port in place of the simulator: reads are answered from it, writes
 * checked against it, its "# stop" notes end the looping tests there.
 * Returns 0, or -1 with errno set after printing why on standard error. */
VORNSIM_API int vornsim_replay(const char *path);
/* After the run's shut-down: 0 when the run did all the recording has;
 * otherwise -1 after printing the first difference on standard error,
 * "<file>:<line>: recorded W 2 24, this run wrote W 2 04". */
VORNSIM_API int vornsim_replay_end(void);

/* Simulated time in microseconds, and moving it on (with its motion). */
VORNSIM_API unsigned long long vornsim_now_us(void);
VORNSIM_API void vornsim_advance_us(unsigned long us);

/* Encoder n's live 24-bit count, 0 to 16777215; -1 for a bad n or when no
 * simulator is installed. */
VORNSIM_API long vornsim_counter(int n);
VORNSIM_API void vornsim_set_counter(int n, long value);

/* Digital output i (0: 0x1F, 1: 0x41) as last written; -1 if none. */
VORNSIM_API int vornsim_dig_out(int i);
/* Fixes digital input i (0: 0x0D, 1: 0x0E) at `value` (low 8 bits). */
VORNSIM_API void vornsim_set_dig_in(int i, int value);

#ifdef __cplusplus
}
#endif

#endif
