// The diagnostic front end as a callable entry, so the hardware tool and the
// simulator tool share one main.
#ifndef VORNDIAG_H
#define VORNDIAG_H

int vorndiag_main(int argc, char **argv);

// Fills a closed standard descriptor (0, 1 or 2) with /dev/null opened for
// reading only, before any file is opened: otherwise a trace file opened
// next would become the tool's standard output. Writes to such a stream
// fail as they would have on the closed one.
void vorndiag_hold_standard_fds();

#endif
