// The platform's system-call table, made from the one list in system_calls.h.
#include "platform/system_calls.h"

#include <cstring>

#ifdef _WIN32
#include <shellapi.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

namespace {

struct Entry {
  const char* name;
  SystemCall real;
  SystemCall current;  // NULL: the real one
};

#define PLATFORM_SYSTEM_CALL_ENTRY(name, type) \
  {#name, reinterpret_cast<SystemCall>(static_cast<type>(name)), nullptr},
Entry table[] = {PLATFORM_SYSTEM_CALLS(PLATFORM_SYSTEM_CALL_ENTRY)};
#undef PLATFORM_SYSTEM_CALL_ENTRY
static_assert(sizeof table / sizeof table[0] == system_call::kCount, "one entry per call");

Entry* Find(const char* name) {
  for (Entry& entry : table) {
    if (strcmp(entry.name, name) == 0) return &entry;
  }
  return nullptr;
}

}  // namespace

SystemCall system_call::Current(Index index) {
  const Entry& entry = table[index];
  return entry.current ? entry.current : entry.real;
}

int OverrideSystemCall(const char* name, SystemCall replacement) {
  Entry* entry = Find(name);
  if (entry) entry->current = replacement;
  return entry ? 1 : 0;
}

SystemCall RealSystemCall(const char* name) {
  Entry* entry = Find(name);
  return entry ? entry->real : nullptr;
}
