#pragma once

#include <string>

#include "runtime/screen_size.h"

namespace slash {

// What the effect needs from the platform beyond its window: the command
// line, the primary screen, random numbers and the end of the program.
class RuntimeServices {
 public:
  virtual ~RuntimeServices() = default;

  // The argument text without the program path; may be empty.
  virtual std::string CommandLine() const = 0;
  // The primary screen's size. Raises the property failure if it cannot be read.
  virtual ScreenSize PrimaryScreenSize() = 0;
  virtual void ReseedRandom() = 0;
  // The next random value, 0 <= r < 1.
  virtual float DrawRandom() = 0;
  // Ends the program: the caller returns at once and the host stops
  // delivering ticks.
  virtual void EndProgram() = 0;
  // Whether EndProgram has been called.
  virtual bool Ended() const = 0;
};

}  // namespace slash
