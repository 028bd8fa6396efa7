// The limit and home reports, over any switch reader, so that the report
// forms can be exercised with readers that do store states.
#ifndef VORNDIAG_SWITCH_WATCH_H
#define VORNDIAG_SWITCH_WATCH_H

namespace vorndiag {

using SwitchRead = int (*)(int axis, int *flag);

// Until done: every pass reads max and min of axes 0 to 3 and prints all
// eight states when any changed.
void watch_limits(SwitchRead max_read, SwitchRead min_read);
// Until done: every pass reads the four home switches and prints them when
// any changed.
void watch_homes(SwitchRead home_read);

} // namespace vorndiag

#endif
