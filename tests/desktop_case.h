#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "x_display.h"

namespace slash::testing {

// A desktop a parameterised test runs on, by the name the test takes.
struct DesktopCase {
  const char* name;
  TestDisplay::Desktop desktop;
};

inline void PrintTo(const DesktopCase& c, std::ostream* out) {
  *out << c.name;
}

// Names each instance of a test after its desktop.
inline std::string DesktopCaseName(const ::testing::TestParamInfo<DesktopCase>& info) {
  return info.param.name;
}

}  // namespace slash::testing
