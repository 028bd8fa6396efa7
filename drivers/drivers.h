// What start-up and shut-down ask of the drivers, with the bus's lock
// already held.
#ifndef VORN_DRIVERS_H
#define VORN_DRIVERS_H

namespace vorn {

struct Bus;

// The encoders' start-up: presets every counter and starts the count
// extension afresh (vorn_encoder.cpp).
void start_encoders(Bus &bus);
// Stops every rate channel: true when the boards answered all of it
// (vorn_rate.cpp).
bool stop_rates();

} // namespace vorn

#endif
