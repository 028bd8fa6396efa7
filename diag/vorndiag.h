// The diagnostic front end as a callable entry, so the hardware tool and the
// simulator tool share one main.
#ifndef VORNDIAG_H
#define VORNDIAG_H

int vorndiag_main(int argc, char **argv);

#endif
