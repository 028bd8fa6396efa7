// Standard output sent to /dev/null while one of these lives, so that the
// reports of the operations measured cost what they cost on a discarded
// output and stay off the screen.
#ifndef VORN_MEASURE_STDOUT_TO_NULL_H
#define VORN_MEASURE_STDOUT_TO_NULL_H

namespace vorn::measure {

class StdoutToNull {
public:
  StdoutToNull();
  ~StdoutToNull();
  StdoutToNull(const StdoutToNull &) = delete;
  StdoutToNull &operator=(const StdoutToNull &) = delete;

private:
  int saved_ = -1;
};

} // namespace vorn::measure

#endif
