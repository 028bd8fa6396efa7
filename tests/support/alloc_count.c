/* Counts heap allocations by standing in for the C library's allocator entry
 * points, which glibc allows a program to replace, and forwarding to glibc's
 * own. AddressSanitizer owns those entry points itself; under it, its
 * allocation hook does the counting. */
#include "alloc_count.h"

#include <errno.h>
#include <stddef.h>

static unsigned long long allocations;

static void count_one(void) { __atomic_fetch_add(&allocations, 1, __ATOMIC_RELAXED); }

unsigned long long vorn_allocations(void) {
  return __atomic_load_n(&allocations, __ATOMIC_RELAXED);
}

#if defined(__SANITIZE_ADDRESS__)
#define VORN_MEASURE_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VORN_MEASURE_ASAN 1
#endif
#endif

#ifdef VORN_MEASURE_ASAN

int __sanitizer_install_malloc_and_free_hooks(void (*on_alloc)(const volatile void *, size_t),
                                              void (*on_free)(const volatile void *));

static void on_alloc(const volatile void *ptr, size_t size) {
  (void)ptr;
  (void)size;
  count_one();
}

static void on_free(const volatile void *ptr) { (void)ptr; }

__attribute__((constructor)) static void install_hooks(void) {
  __sanitizer_install_malloc_and_free_hooks(on_alloc, on_free);
}

#else

/* Visible to the shared libraries (the C++ runtime's operator new, stdio),
 * whatever the build's default visibility. */
#define REPLACES __attribute__((visibility("default")))

void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *ptr, size_t size);
void *__libc_memalign(size_t alignment, size_t size);
void __libc_free(void *ptr);

REPLACES void *malloc(size_t size) {
  count_one();
  return __libc_malloc(size);
}

REPLACES void *calloc(size_t count, size_t size) {
  count_one();
  return __libc_calloc(count, size);
}

REPLACES void *realloc(void *ptr, size_t size) {
  count_one();
  return __libc_realloc(ptr, size);
}

REPLACES void *memalign(size_t alignment, size_t size) {
  count_one();
  return __libc_memalign(alignment, size);
}

REPLACES void *aligned_alloc(size_t alignment, size_t size) { return memalign(alignment, size); }

REPLACES int posix_memalign(void **out, size_t alignment, size_t size) {
  if (alignment < sizeof(void *) || (alignment & (alignment - 1)) != 0)
    return EINVAL;
  void *ptr = memalign(alignment, size);
  if (ptr == NULL)
    return ENOMEM;
  *out = ptr;
  return 0;
}

REPLACES void free(void *ptr) { __libc_free(ptr); }

#endif
