// The table through which the platform files call the system, so that tests can
// put a fault into a call (OverrideSystemCall in platform.h). Each platform file
// defines the table with the calls it makes.
#pragma once

#include <cstddef>

#include "platform/platform.h"

struct SystemCallEntry {
  const char* name;
  SystemCall real;
  SystemCall current;  // NULL: the real one
};

extern SystemCallEntry system_calls[];
extern const size_t kSystemCallCount;

// The call at index in the table, as the function type it has.
template <typename Function>
Function CallOf(size_t index) {
  const SystemCallEntry& entry = system_calls[index];
  return reinterpret_cast<Function>(entry.current ? entry.current : entry.real);
}
