/*
 * extintf.h: the flat motion interface for a motion controller. Each entry
 * point forwards to the vorn driver entry point with the same suffix, except
 * the three switch reads, which report fixed states. Valid C and C++.
 */
#ifndef EXTINTF_H
#define EXTINTF_H

#include "vorn_export.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Starts the board set; -1 with errno set when port access is refused. */
VORN_API int extMotInit(const char *stuff);
VORN_API int extMotQuit(void);

#ifdef __cplusplus
}
#endif

#endif
