/* Symbol visibility for the vorn library: only what carries VORN_API is exported. */
#ifndef VORN_EXPORT_H
#define VORN_EXPORT_H

#if defined(VORN_STATIC_DEFINE)
#define VORN_API
#elif defined(__GNUC__)
#define VORN_API __attribute__((visibility("default")))
#else
#define VORN_API
#endif

#endif
