// Port logs and port traces read as bus operations.
#ifndef VORNDIAG_TEST_BUS_OPS_H
#define VORNDIAG_TEST_BUS_OPS_H

#include "recording_port.h"

#include <string>
#include <vector>

namespace diagtest {

using vorn::test::Access;

// The bus cycles in a port log: "sel xx" for an address cycle, "wr xx" and
// "rd xx" for data cycles. Status and control accesses are left out.
std::vector<std::string> bus_ops(const std::vector<Access> &log);
// The accesses of a port trace of lines "R|W <offset> <hh>".
std::vector<Access> parse_trace(const std::string &text);
// The bus operations of a trace from `first_op` on.
std::vector<std::string> tail(const std::vector<std::string> &ops, std::size_t first_op);

} // namespace diagtest

#endif
