/* Symbol visibility for the vorn library: what carries VORN_API is exported,
 * under the symbol version abi/libvorn.map gives it. */
#ifndef VORN_EXPORT_H
#define VORN_EXPORT_H

#if defined(__GNUC__)
#define VORN_API __attribute__((visibility("default")))
#else
#define VORN_API
#endif

#endif
