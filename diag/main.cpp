// vorndiag on the real parallel port.
#include "vorndiag.h"

int main(int argc, char **argv) { return vorndiag_main(argc, argv); }
