/*
 * vorn_port.h: a port from another library of this project put in place of
 * libvorn's own, as a table of C calls, so that no C++ type crosses the
 * boundary between the shared libraries. Exported under the private symbol
 * versions VORN_PRIVATE_1.0 and 1.1 (docs/abi.md): not installed, not for clients.
 */
#ifndef VORN_PORT_H
#define VORN_PORT_H

#include "vorn.h"

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

/* vorn_port_ops.end_run() tells what happened to a run as vornRunEnd()
 * does (vorn.h). */
/* Registers are 0 data, 1 status, 2 control, 3 EPP address, 4 EPP data.
 * Every call gets `context` first. Strings handed back belong to the port
 * and stay valid until its next call. */
struct vorn_port_ops {
  void *context;
  /* Register access. */
  const char *(*name)(void *context);
  int (*open)(void *context, uint32_t base); /* 0, or the errno of the refusal */
  uint8_t (*read)(void *context, int reg);
  void (*write)(void *context, int reg, uint8_t value);
  void (*read_epp_data)(void *context, uint8_t *bytes, size_t count);
  void (*release)(void *context);
  /* Run control: the event the run takes where it saw `seen` ("" for
   * nothing; `kind` its first words), a note for the trace, and the end of
   * the run with a line for people in `*message`. */
  const char *(*event_point)(void *context, const char *kind, const char *seen);
  void (*note)(void *context, const char *text, size_t length);
  enum vorn_run_end (*end_run)(void *context, const char **message);
};

struct vorn_port_slot;

/* Puts `ops` (not copied; it must outlive its use) in place of whatever the
 * port was, until vorn_port_uninstall() of the slot returned, which puts
 * the one before back. Slots are given back in the reverse order. */
VORN_API struct vorn_port_slot *vorn_port_install(const struct vorn_port_ops *ops);
VORN_API void vorn_port_uninstall(struct vorn_port_slot *slot);

/* Gives the port of `slot` a time of its own for the port traces libvorn
 * writes (VORN_TRACE): `now_us` (nullptr: none) gives microseconds, as a
 * simulated clock counts them. Until then, or for a port without one, the
 * traces take the monotonic clock. Private version VORN_PRIVATE_1.1. */
VORN_API void vorn_port_clock(struct vorn_port_slot *slot, uint64_t (*now_us)(void *context),
                              void *context);

/* Flushes every port trace libvorn writes, ahead of a signal that may end
 * the process. */
VORN_API void vorn_port_flush_traces(void);

/* A port trace of libvorn's for a port of another library, so that one
 * list of traces is flushed, and abandoned in a forked child. Its time
 * marks take `now_us` (nullptr: the monotonic clock). Private version
 * VORN_PRIVATE_1.1, as are the calls below. */
struct vorn_trace;
VORN_API struct vorn_trace *vorn_trace_new(uint64_t (*now_us)(void *context), void *context);
VORN_API void vorn_trace_delete(struct vorn_trace *trace);
/* Writes the trace to `path` (".gz": compressed): 0, or -1 with errno set.
 * `port_taken`: the port is open already, so the trace starts at once. */
VORN_API int vorn_trace_open(struct vorn_trace *trace, const char *path, int port_taken);
/* After vorn_trace_open() failed with EEXIST: the file of the run the trace
 * would have overwritten ("" otherwise); valid until the trace's next call. */
VORN_API const char *vorn_trace_clash(const struct vorn_trace *trace);
/* To `file` (not owned); nullptr stops the trace. */
VORN_API void vorn_trace_attach(struct vorn_trace *trace, FILE *file);
VORN_API void vorn_trace_flush(struct vorn_trace *trace);
/* vorn_port_install() with `trace` written of every access to `ops`. */
VORN_API struct vorn_port_slot *vorn_port_install_traced(const struct vorn_port_ops *ops,
                                                         struct vorn_trace *trace);
/* A file of the run that no trace may overwrite; `what` names it. */
VORN_API void vorn_trace_protect(int fd, const char *what);

#ifdef __cplusplus
}
#endif

#endif
