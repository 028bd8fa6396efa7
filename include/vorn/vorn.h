/*
 * vorn.h: bus primitives and driver entry points for the motion-control board
 * set behind a parallel port in EPP mode. Valid C (C99 and later) and C++.
 *
 * Every entry point returns 0 for success and -1 for a refused argument,
 * unless noted. Port access must be obtained with vornMotInit() before any
 * call that reaches the bus. Until then, after a refused vornMotInit() and
 * after vornMotQuit(), every driver entry point that would reach the bus
 * returns -1 and makes no port access, with errno set: the refusal's own
 * value after a refused start-up, ENODEV otherwise. The bus primitives
 * have no result to tell it by and are not checked.
 *
 * Failure: when the kernel's device fails during a call (anything but a
 * cycle no board answered), the bus is failed until the next start-up:
 * the call and every later one that reaches the bus return -1 with errno
 * EIO (ENODEV when the port went away), the bus primitives make no port
 * access (reads give 0xFF), vornPortFailed() gives 1 and vornPortProblem()
 * says what failed. vornMotQuit() then sends no stop, gives the port back
 * and returns -1. The library never ends the process.
 *
 * Threads: each driver entry point's bus cycles are one unit, under a lock
 * of the bus; calls from several threads never interleave on the bus. The
 * bus primitives take no lock: a sequence of them is the caller's unit
 * (vornBusLock()). No entry point may be called from a signal handler: a
 * handler sets a flag that the program's loop reads.
 *
 * fork: a child forked while the port is held shares it with its parent
 * and leaves it alone: there every entry point that reaches the bus,
 * vornMotInit() and vornMotQuit() included, returns -1 with errno EBUSY,
 * the bus primitives make no port access, and nothing the library does at
 * the child's exit touches the port or writes the parent's trace.
 *
 * Two ports: every call acts on one bus, the default bus unless the calling
 * thread chose another with vornBusUse(). vorn_base_addr, VORN_PORT and
 * VORN_TRACE are the default bus's.
 */
#ifndef VORN_H
#define VORN_H

#include "vorn_export.h"

#include <signal.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Base I/O address of the parallel port; 0x378 until a caller sets it.
 * Set it before vornMotInit(); every port access reads it afresh. */
VORN_API extern uint32_t vorn_base_addr;

/* ---- bus primitives ---------------------------------------------------- */
VORN_API int ClrTimeout(void);
VORN_API void SelAddr(uint32_t port);
VORN_API void WriteData(uint8_t byte);
VORN_API void WriteData16(uint16_t word);
VORN_API uint16_t ReadData(void);
VORN_API uint16_t SelRead(uint32_t port);
VORN_API void SelWrt(uint32_t port, uint8_t byte);
VORN_API void SelWrt16(uint32_t port, uint16_t word);
VORN_API void BusReset(void);
/* Two single register accesses of their own, no bus cycle accounted: the
 * control register (base + 2) written with `value` (0x24 turns the data
 * lines to reading, as ReadData does), and one read of the EPP data
 * register (base + 4). */
VORN_API void vornControlWrite(uint8_t value);
VORN_API uint8_t vornEppDataRead(void);
/* 0 when access to the five ports from vorn_base_addr on is granted; -1 with
 * errno set (EPERM, ENOSYS, EINVAL, ...) when it is refused. */
VORN_API int16_t InitializeParPort(void);

/* ---- start-up and shut-down -------------------------------------------- */
/* Takes the port and starts the boards. `stuffstuff` chooses the way to the
 * port: NULL or "" take the environment variable VORN_PORT, and "auto" when
 * that is unset too:
 *   "auto"          the kernel's device for the port at vorn_base_addr
 *                   (/dev/parportN, group lp, allowed under Secure Boot)
 *                   when the kernel has that port, raw access otherwise
 *   "device"        the kernel's device for the port at vorn_base_addr only
 *   "raw"           the registers through ioperm (root, no kernel lockdown)
 *   "/dev/parportN" that device (any path of a ppdev character device);
 *                   vorn_base_addr becomes its base address
 * Any other string is refused with EINVAL, a path that is no parallel-port
 * device with ENODEV, before any port access. With VORN_VERBOSE set (not
 * "0") the way taken is written to standard error; VORN_TRACE's trace notes
 * it ("# port: device /dev/parport0").
 * The port is held against other programs until vornMotQuit() or exit.
 * -1 with errno set when port access is refused (EBUSY: another program has
 * the port); then no port access is made and vornPortProblem() says why.
 * While started, a second call is refused with EBUSY and changes nothing;
 * after vornMotQuit() a start-up begins afresh (the encoder counts from
 * their preset). A port put in place by the simulator (vornsim.h) is
 * refused the same paths as the PC's, and waits for this call too.
 * A bus where no board answers is no refusal: 0, and vornBusAccount() tells
 * which blocks did not answer. */
VORN_API int vornMotInit(const char *stuffstuff);
/* Stops the rate generators and gives the port back: 0, or -1 with errno
 * EIO when the boards did not answer the stop (the axes may still be
 * moving), or when the port was not started (errno as above); -1 with
 * the trace's errno when the VORN_TRACE file could not be written in full
 * (vornPortProblem() says why). */
VORN_API int vornMotQuit(void);
/* The account of bus block `block` (0 to 15: bus addresses block * 0x10 to
 * block * 0x10 + 0x0f) since the last vornMotInit(), kept through
 * vornMotQuit(): the cycles the bus made there and how many of them no
 * board answered (the port's EPP timeout). A cycle is one selection or data
 * write and the transfers after it up to the next timeout check. 0, or -1
 * for a block outside 0 to 15. No port access. */
VORN_API int vornBusAccount(int block, long long *cycles, long long *unanswered);
/* Lines for people on why the last start-up could not take the port and how
 * to fix that, or what failed on the bus since, each ending in a newline;
 * "" after a start-up that could. */
VORN_API const char *vornPortProblem(void);
/* 1 when the port's device failed since the last vornMotInit(), else 0. */
VORN_API int vornPortFailed(void);
/* Hold the bus against every other thread's entry points, for a sequence
 * of bus primitives that is one unit; no entry point but the primitives
 * may be called in between, from this thread. */
VORN_API void vornBusLock(void);
VORN_API void vornBusUnlock(void);

/* A bus of its own, so that one process drives two ports (VORN_1.3). */
typedef struct vorn_bus vorn_bus;
/* A new bus, not started, whose port choices ("auto", "raw", "device") are
 * taken at `base`, as the default bus takes them at vorn_base_addr; a
 * device path given to its vornMotInit() sets its base. NULL with errno
 * ENOMEM when there is no room. */
VORN_API vorn_bus *vornBusNew(uint32_t base);
/* Makes `bus` (NULL: the default bus) the one every call of this header
 * and of extintf.h acts on in the calling thread, from vornMotInit() on,
 * until the next vornBusUse() in that thread; other threads keep theirs.
 * Returns the thread's choice before (NULL: the default bus). */
VORN_API vorn_bus *vornBusUse(vorn_bus *bus);
/* Shuts `bus` down as vornMotQuit() does when it is started, so that no
 * axis is left running, and frees it: that call's result, 0 when it was
 * not started. No thread may use the bus afterwards; the calling thread's
 * choice of it falls back to the default bus. Simulated boards put in
 * place on it may be taken away later. NULL: nothing, 0. */
VORN_API int vornBusFree(vorn_bus *bus);

/* A parallel port the kernel's driver has found. */
typedef struct {
  uint32_t base;   /* base I/O address */
  char device[32]; /* its device, /dev/parportN */
  char modes[64];  /* the modes the kernel reports, e.g. "PCSPP,TRISTATE,EPP" */
  int usable;      /* 1 when this user can open the device */
} vorn_port_info;
/* The kernel's n-th parallel port (n = 0, 1, ...): 0, or -1 past the last. */
VORN_API int vornPortInfo(int n, vorn_port_info *info);
/* The base address of the kernel's port behind `device`: 0, or -1. */
VORN_API int vornPortBase(const char *device, uint32_t *base);

/* How the port in use was reached, and what the kernel tells of it. */
enum vorn_way {
  VORN_WAY_RAW = 1,    /* its registers, through ioperm */
  VORN_WAY_DEVICE = 2, /* the kernel's device, /dev/parportN */
  VORN_WAY_OTHER = 3   /* a port another library put in place: the
                          simulated boards, a replay */
};
typedef struct {
  int way;         /* enum vorn_way */
  char name[16];   /* "raw", "device", or the other port's own ("sim") */
  uint32_t base;   /* its base address */
  int listed;      /* 1 when the kernel has a port at `base` (raw and
                      device only): then device and modes are that port's */
  char device[32]; /* /dev/parportN, "" when not listed */
  char modes[64];  /* as the kernel reports them, "" when not listed */
  int epp;         /* 1 EPP among the modes, 0 not, -1 not known (no modes) */
} vorn_port_way;
/* 0, or -1 with errno set as for a driver call when no port is started.
 * No port access. */
VORN_API int vornPortWay(vorn_port_way *way);
/* The last vornMotInit() was refused because VORN_TRACE names a file that
 * cannot be written (vornPortProblem() says why), not for the port: 1, else 0. */
VORN_API int vornTraceRefused(void);
/* The last vornMotQuit()'s stop of the rate generators was not answered:
 * 1, else 0 (vornMotQuit()'s errno EIO may also come from the trace). */
VORN_API int vornStopMissed(void);

VORN_API int EncoderInit(void);
VORN_API int EncoderQuit(void);
/* Both stop every rate channel. RateQuit: -1 with errno EIO when the boards
 * did not answer the stop. */
VORN_API int16_t RateInit(void);
VORN_API int16_t RateQuit(void);
VORN_API int DIOInit(void);
VORN_API int DIOQuit(void);

/* ---- encoder driver ---------------------------------------------------- */
/* One encoder count: Byte[0] is the least significant byte of Long.
 * EncReadAll fills Byte; C++ must not then read Long (an inactive union
 * member), so vornLongbyteCount assembles the count from the bytes. */
typedef union {
  int32_t Long;
  uint8_t Byte[4];
} LONGBYTE;

static inline int32_t vornLongbyteCount(const LONGBYTE *lb) {
  uint32_t u = (uint32_t)lb->Byte[0] | ((uint32_t)lb->Byte[1] << 8) |
               ((uint32_t)lb->Byte[2] << 16) | ((uint32_t)lb->Byte[3] << 24);
  /* two's complement without an implementation-defined conversion */
  return u <= 0x7FFFFFFFu ? (int32_t)u : -(int32_t)(0xFFFFFFFFu - u) - 1;
}

/* A period not in the driver's table writes nothing. */
VORN_API void SelectInterruptPeriod(long lPeriodSelect);
VORN_API int EncoderLatch(void);
VORN_API int EncReadAll(LONGBYTE *lbEnc);
/* 0 for model 1, the only one; -1 for any other. */
VORN_API int vornEncoderSetIndexModel(unsigned int model);
/* 4. */
VORN_API int vornEncoderNum(void);
/* Latches and reads all four counts; counts[4] to counts[max - 1] get 0. */
VORN_API int vornEncoderReadAll(int max, double *counts);
/* An encoder outside 0 to 3 gets 0 counts and a result of 0, no bus access. */
VORN_API int vornEncoderRead(int encoder, double *counts);
/* The latched index bit of `encoder`; -1 for one outside 0 to 4 (4 reads
 * a bit of no encoder). Reading clears the latched bits on the board. */
VORN_API int vornEncoderReadLatch(int encoder, int *flag);
VORN_API int vornEncoderReadLevel(int encoder, int *flag);
VORN_API int vornEncoderResetIndex(int encoder);
/* The latched index bits of all four encoders in one read: bit n of *bits
 * is encoder n's. The read clears them all on the board. */
VORN_API int vornEncoderIndexAll(unsigned *bits);

/* ---- rate generator driver --------------------------------------------- */
VORN_API long VoltToCounts(double volts);
/* -1 for a channel outside 0 to 3. */
VORN_API int RawRate(int nAxis, double volts);
/* 4. */
VORN_API int vornRateNum(void);
VORN_API int vornRateWrite(int dac, double volts);
VORN_API int vornRateWriteAll(int max, double *volts);
/* Every rate write, also through extRateWrite and extRateWriteAll, reports
 * what it wrote in lines of text (see vorndiag(1), RATE REPORTS). They go to
 * standard output until this sends them to `stream`, or nowhere when it is
 * NULL: a servo loop keeps them out of its own output this way. The stream
 * must stay open while the driver may write to it. */
VORN_API void vornRateReportTo(FILE *stream);

/* ---- switches, amplifiers, digital I/O ---------------------------------- */
/* Index 0 reads digital input 0, 1 and 2 digital input 1 (2: the emergency
 * stop); -1 and no bus access for any other index. */
VORN_API int vornDioRead(int index, int *value);
/* Index 0 and 2 write digital output 0, 1 digital output 1, the low byte
 * of `value`; -1 and no bus access for any other index. */
VORN_API int vornDioWrite(int index, int value);
/* The rest of this section and the analog section are placeholders: 0,
 * with no bus access and their output parameters left alone. */
VORN_API int vornMaxLimitSwitchRead(int axis, int *flag);
VORN_API int vornMinLimitSwitchRead(int axis, int *flag);
VORN_API int vornHomeSwitchRead(int axis, int *flag);
VORN_API int vornAmpEnable(int axis, int enable);
VORN_API int vornAmpFault(int axis, int *fault);
VORN_API int vornDioInit(const char *stuff);
VORN_API int vornDioQuit(void);
VORN_API int vornDioMaxInputs(void);
VORN_API int vornDioMaxOutputs(void);
VORN_API int vornDioCheck(int index, int *value);
VORN_API int vornDioByteRead(int index, unsigned char *byte);
VORN_API int vornDioShortRead(int index, unsigned short *sh);
VORN_API int vornDioWordRead(int index, unsigned int *word);
VORN_API int vornDioByteWrite(int index, unsigned char byte);
VORN_API int vornDioShortWrite(int index, unsigned short sh);
VORN_API int vornDioWordWrite(int index, unsigned int word);
VORN_API int vornDioByteCheck(int index, unsigned char *byte);
VORN_API int vornDioShortCheck(int index, unsigned short *sh);
VORN_API int vornDioWordCheck(int index, unsigned int *word);

/* ---- analog I/O ---------------------------------------------------------- */
VORN_API int vornAioInit(const char *stuff);
VORN_API int vornAioQuit(void);
VORN_API int vornAioMaxInputs(void);
VORN_API int vornAioMaxOutputs(void);
VORN_API int vornAioRead(int index, double *volts);
VORN_API int vornAioWrite(int index, double volts);
VORN_API int vornAioCheck(int index, double *volts);

/* ---- run events, for a program that records and replays its runs ------ *
 * A run may end or change course for a reason from outside the bus (a stop
 * signal). Where the program asks, the run takes such an event: VORN_TRACE's
 * trace notes it, and a replay of that trace takes it at the same point of
 * the run whatever the replaying process sees. None of these makes a port
 * access or reaches the bus. */
enum vorn_run_event {
  VORN_EVENT_STOP = 0,         /* a looping test asks whether to stop here */
  VORN_EVENT_KEYBOARD_CUT = 1, /* a keyboard wait is cut short here */
  VORN_EVENT_KEY_PRESS = 2     /* a key taken on its own, not as a line */
};
/* `cause` names what this process saw here ("SIGINT"; for a key press, the
 * key's bytes as typed), NULL or "" for nothing.
 * 1 when the run takes the event here, 0 when not (-1, errno EINVAL, for an
 * unknown kind). Unless `taken` is NULL, *taken is the event as noted
 * ("stop SIGINT"; for a key press, the key's bytes as typed), "" when none,
 * valid until the next vornRunEvent(). */
VORN_API int vornRunEvent(int kind, const char *cause, const char **taken);
/* A note line in the trace ("# text"); a line end in `text` becomes a blank. */
VORN_API void vornRunNote(const char *text);
/* Keyboard input as an event of the run: a replay answers a prompt with the
 * line its recording read there. vornRunKey(): 1 with that line in `line`
 * (NUL-ended, its line end kept when it had one), 0 when the recording's
 * answers end here, -1 when the run has no recorded keys (read the
 * keyboard). A line that does not fit `size` ends the answers. */
VORN_API int vornRunKey(char *line, size_t size);
/* Notes what a keyboard read gave: `line` (NUL-ended, as read) when `result`
 * is 1, the end of input when 0, a failed read when -1. */
VORN_API void vornRunKeyNote(const char *line, int result);
/* What happened to a run, as vornRunEnd() tells it. */
enum vorn_run_end { VORN_RUN_OK = 0, VORN_RUN_TRACE_FAILED = 1, VORN_RUN_REPLAY_DEPARTED = 2 };
/* After the shut-down: closes the trace and asks a replay how it went. The
 * kind; unless `message` is NULL, *message is a line for people on what
 * went wrong ("" for VORN_RUN_OK), valid until the next vornRunEnd(). */
VORN_API enum vorn_run_end vornRunEnd(const char **message);

/* ---- writes that give way to a stop ------------------------------------ *
 * While `*flag` is non-zero (a stop signal set it, and the boards are not
 * yet stopped), a write of the trace, and of vornWriteGivingWay(), that
 * would wait for a slow reader gives way: it stops where it is, so that the
 * shut-down is not held up. NULL (after the shut-down): writes wait again.
 * The flag must outlive its use. */
VORN_API void vornGiveWayWhile(const volatile sig_atomic_t *flag);
/* Writes `data` to `fd` as the trace is written: what was written, all of
 * `size`, or less when it gave way (*error 0) or a write failed (*error its
 * errno). */
VORN_API size_t vornWriteGivingWay(int fd, const void *data, size_t size, int *error);

#ifdef __cplusplus
}
#endif

#endif
