// vorndiag on the real parallel port.
#include "vorndiag.h"

int main(int argc, char **argv) {
  vorndiag_hold_standard_fds();
  return vorndiag_main(argc, argv);
}
