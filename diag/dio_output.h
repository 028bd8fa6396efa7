// Values the tests put on digital output 0.
#ifndef VORNDIAG_DIO_OUTPUT_H
#define VORNDIAG_DIO_OUTPUT_H

namespace vorndiag {

inline constexpr int kDioOut0 = 0;       // vornDioWrite index
inline constexpr int kOutIdle = 0x80;    // bit 7 always set by these tests
inline constexpr int kOutForward = 0x81; // spindle forward or stopped
inline constexpr int kOutReverse = 0x82; // spindle reverse

// Five writes of the idle value: every keyboard-driven action starts so.
void idle_output();

} // namespace vorndiag

#endif
