/*
 * extintf.h: the flat motion interface for a motion controller. Each entry
 * point forwards to the vorn driver entry point with the same suffix, with
 * the same arguments, and returns its result unchanged; the three switch
 * reads are the exception and report fixed states. Valid C (C99 and later)
 * and C++.
 *
 * Entry points that reach the bus (rate writes, encoder reads and resets,
 * extDioRead, extDioWrite, extMotQuit) need the board set started with
 * extMotInit(). Before that, after a refused extMotInit() and after
 * extMotQuit(), they return -1 with no port access and errno set (the
 * refusal's own value after a refused start, ENODEV otherwise). The others
 * may be called at any time. A second extMotInit() while started is refused
 * (EBUSY) and changes nothing.
 *
 * As in vorn.h: a failure of the kernel's device fails the bus (-1, errno
 * EIO or ENODEV, until the next start-up; the process is never ended);
 * each call's bus cycles are one unit against other threads; no call is for
 * a signal handler; in a child forked while the port is held, every call
 * that reaches the bus returns -1 with errno EBUSY and the parent's port
 * is left alone.
 */
#ifndef EXTINTF_H
#define EXTINTF_H

#include "vorn_export.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- start-up and shut-down -------------------------------------------- */
/* Takes the port and starts the board set; -1 with errno set when port
 * access is refused (EBUSY: another program has the port), and then
 * vornPortProblem() in vorn.h says why. `stuff` chooses the way to the port:
 * NULL or "" (the environment variable VORN_PORT, else automatic), "auto"
 * (the kernel's /dev/parportN for the port at vorn_base_addr when the
 * kernel has one, raw ioperm access otherwise), "device", "raw", or a device
 * path such as "/dev/parport0". Any other string, and a path that is no
 * parallel-port device, is refused: -1 with errno EINVAL (ENODEV for the
 * path), before any port access. A bus on
 * which no board answers is no refusal: 0, and extBusAccount() tells. */
VORN_API int extMotInit(const char *stuff);
/* Stops every rate generator and gives the port back: 0, or -1 with errno
 * EIO when the boards did not answer the stop (the axes may still be
 * moving: tell the user to switch the drives off); -1 with another errno
 * when the VORN_TRACE file could not be written in full. */
VORN_API int extMotQuit(void);
/* What bus block `block` (0 to 15) answered since extMotInit(), kept after
 * extMotQuit(): the cycles made there and how many no board answered.
 * Block 0 is the encoder board, 1 and 2 the rate generator, 4 the digital
 * I/O board. 0, or -1 for another block. No bus access. */
VORN_API int extBusAccount(int block, long long *cycles, long long *unanswered);

/* ---- rate generators: commands in volts, 2000 pulses/s per volt --------- */
/* 4. */
VORN_API int extRateNum(void);
/* 0; -1 for a channel outside 0 to 3. Every write reports what it wrote, to
 * standard output unless vornRateReportTo() (vorn.h) chose otherwise. */
VORN_API int extRateWrite(int dac, double volts);
/* 0: the first `max` channels (at most 4) get their rates, the rest stop. */
VORN_API int extRateWriteAll(int max, double *volts);

/* ---- encoders: counts come back as doubles holding whole counts --------- */
/* 0 for model 1, the only one; -1 for any other. */
VORN_API int extEncoderSetIndexModel(unsigned int model);
/* 4. */
VORN_API int extEncoderNum(void);
/* 0; an encoder outside 0 to 3 gets 0 counts, with no bus access. */
VORN_API int extEncoderRead(int encoder, double *counts);
/* 0; counts[4] to counts[max - 1] get 0. */
VORN_API int extEncoderReadAll(int max, double *counts);
/* 0; -1 for an encoder outside 0 to 4 (4 is a bit of no encoder). The
 * latched index bits are cleared by every read of them. */
VORN_API int extEncoderResetIndex(int encoder);
VORN_API int extEncoderReadLatch(int encoder, int *flag);
VORN_API int extEncoderReadLevel(int encoder, int *flag);

/* ---- switches: fixed states for any axis, no bus access ----------------- */
/* Both limit switches always read 0, the home switch always reads 1. */
VORN_API int extMaxLimitSwitchRead(int axis, int *flag);
VORN_API int extMinLimitSwitchRead(int axis, int *flag);
VORN_API int extHomeSwitchRead(int axis, int *flag);

/* ---- amplifiers: placeholders, 0 and no effect --------------------------- */
VORN_API int extAmpEnable(int axis, int enable);
VORN_API int extAmpFault(int axis, int *fault);

/* ---- digital I/O -------------------------------------------------------- */
/* extDioRead and extDioWrite reach the bus; every other call here and in
 * the analog section is a placeholder: 0, no bus access, output parameters
 * left alone. */
VORN_API int extDioInit(const char *stuff);
VORN_API int extDioQuit(void);
VORN_API int extDioMaxInputs(void);
VORN_API int extDioMaxOutputs(void);
/* Index 0: digital input 0; 1 and 2: digital input 1 (2: the emergency
 * stop). 0, or -1 and no bus access for any other index. */
VORN_API int extDioRead(int index, int *value);
/* Index 0 and 2: digital output 0; 1: digital output 1; the low byte of
 * `value`. 0, or -1 and no bus access for any other index. */
VORN_API int extDioWrite(int index, int value);
VORN_API int extDioCheck(int index, int *value);
VORN_API int extDioByteRead(int index, unsigned char *byte);
VORN_API int extDioShortRead(int index, unsigned short *sh);
VORN_API int extDioWordRead(int index, unsigned int *word);
VORN_API int extDioByteWrite(int index, unsigned char byte);
VORN_API int extDioShortWrite(int index, unsigned short sh);
VORN_API int extDioWordWrite(int index, unsigned int word);
VORN_API int extDioByteCheck(int index, unsigned char *byte);
VORN_API int extDioShortCheck(int index, unsigned short *sh);
VORN_API int extDioWordCheck(int index, unsigned int *word);

/* ---- analog I/O: values in volts ---------------------------------------- */
VORN_API int extAioInit(const char *stuff);
VORN_API int extAioQuit(void);
VORN_API int extAioMaxInputs(void);
VORN_API int extAioMaxOutputs(void);
VORN_API int extAioRead(int index, double *volts);
VORN_API int extAioWrite(int index, double volts);
VORN_API int extAioCheck(int index, double *volts);

#ifdef __cplusplus
}
#endif

#endif
