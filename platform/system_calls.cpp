// Finding a system call of the platform's table by its name.
#include "platform/system_calls.h"

#include <cstring>

static SystemCallEntry* Find(const char* name) {
  for (size_t i = 0; i < kSystemCallCount; ++i) {
    if (strcmp(system_calls[i].name, name) == 0) return &system_calls[i];
  }
  return nullptr;
}

int OverrideSystemCall(const char* name, SystemCall replacement) {
  SystemCallEntry* entry = Find(name);
  if (entry) entry->current = replacement;
  return entry ? 1 : 0;
}

SystemCall RealSystemCall(const char* name) {
  SystemCallEntry* entry = Find(name);
  return entry ? entry->real : nullptr;
}
