/* The number of heap allocations the process has made so far: every malloc,
 * calloc, realloc and aligned allocation, and so every operator new. Counted
 * only in a program that links this in. */
#ifndef VORN_MEASURE_ALLOC_COUNT_H
#define VORN_MEASURE_ALLOC_COUNT_H

#ifdef __cplusplus
extern "C" {
#endif

unsigned long long vorn_allocations(void);

#ifdef __cplusplus
}
#endif

#endif
