#include "c_client.h"

#include "extintf.h"
#include "vornsim.h"

#include <stddef.h>

long c_client_run(const char *rig_path, unsigned long us) {
  if (vornsim_install(rig_path) != 0)
    return -1;
  extMotInit(NULL);
  vornsim_set_counter(0, 1000);
  extRateWrite(0, -5.0); /* 10000 pulses per second */
  vornsim_advance_us(us);
  return vornsim_counter(0);
}

int c_client_loopback(int value) {
  int in = -1;
  extDioWrite(0, value);
  extDioRead(0, &in);
  return in;
}
