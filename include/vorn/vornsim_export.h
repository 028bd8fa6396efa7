/* Symbol visibility for the simulator library: what carries VORNSIM_API is
 * exported, under the symbol version abi/libvornsim.map gives it. */
#ifndef VORNSIM_EXPORT_H
#define VORNSIM_EXPORT_H

#if defined(__GNUC__)
#define VORNSIM_API __attribute__((visibility("default")))
#else
#define VORNSIM_API
#endif

#endif
