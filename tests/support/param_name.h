// A test name for a parameterised suite from its parameter as gtest prints
// it (PrintTo): "index -1" becomes index_minus1. ctest lists the tests by
// these names, the same in every build, where it would show the bytes of
// a parameter without one.
#ifndef VORN_TEST_PARAM_NAME_H
#define VORN_TEST_PARAM_NAME_H

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace vorn::test {

inline std::string name_of_text(const std::string &text) {
  std::string name;
  for (const char c : text) {
    if (std::isalnum(static_cast<unsigned char>(c)))
      name += c;
    else if (c == '-')
      name += "minus";
    else if (!name.empty() && name.back() != '_')
      name += '_';
  }
  while (!name.empty() && name.back() == '_')
    name.pop_back();
  return name;
}

struct PrintedName {
  template <class T> std::string operator()(const testing::TestParamInfo<T> &info) const {
    return name_of_text(testing::PrintToString(info.param));
  }
};

} // namespace vorn::test

#endif
