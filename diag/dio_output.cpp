#include "dio_output.h"

#include "vorn.h"

namespace vorndiag {

void idle_output() {
  for (int i = 0; i < 5; ++i)
    vornDioWrite(kDioOut0, kOutIdle);
}

} // namespace vorndiag
