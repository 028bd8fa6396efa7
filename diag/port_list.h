// What the help screen tells of this PC's parallel ports.
#ifndef VORNDIAG_PORT_LIST_H
#define VORNDIAG_PORT_LIST_H

namespace vorndiag {

// One line per port the kernel knows (base address, device, modes, whether
// this user may open it), or a one-line hint when it knows none.
void print_port_list();

} // namespace vorndiag

#endif
