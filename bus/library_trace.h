// VORN_TRACE: the port trace of any program on the library, from its first
// start-up on, around whichever backend is in use.
#ifndef VORN_LIBRARY_TRACE_H
#define VORN_LIBRARY_TRACE_H

#include "vorn_export.h"

#include <string>

namespace vorn {

// The trace a bus keeps of VORN_TRACE once it is opened.
struct LibraryTrace;
// Its end: writes out the rest and takes it from around the port.
void close_library_trace(LibraryTrace *trace);

// Opens the file VORN_TRACE names, once per process; a later start-up keeps
// the trace going. 0 when there is none or it is open; otherwise the errno
// value, with `problem` the line that explains it.
int start_library_trace(std::string &problem);
// The port is taken: the file is emptied and the trace begins. Until then
// a refused run leaves it as it was.
void begin_library_trace();
// After a run: 0 while the trace has been written so far; otherwise the
// errno of its first failure, with `problem` the line that explains it.
int library_trace_failure(std::string &problem);

// The line that explains why the trace file `path` cannot be written;
// `clash` names the file of the run it is, if that is why.
VORN_API std::string trace_refusal(const std::string &path, const std::string &clash, int err);

} // namespace vorn

#endif
