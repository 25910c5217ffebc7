// Putting finished files in place together; the steps are each platform's.
#include "platform/file_replacement.h"

#include "platform/file_replacement_steps.h"

Placement PutFilesInPlace(FileReplacement* const* files, size_t count) {
  // Refusals are found before anything changes; a file written twice would lose
  // the first content.
  for (size_t i = 0; i < count; ++i) {
    if (!TargetIsReplaceable(files[i])) return Placement{i, true};
    for (size_t earlier = 0; earlier < i; ++earlier) {
      if (SameTarget(files[earlier], files[i])) return Placement{i, true};
    }
  }
  HoldInterruptions();
  // Every old content is kept before any target changes, so that most failures
  // leave everything as it was, with nothing to undo.
  for (size_t i = 0; i < count; ++i) {
    if (!PrepareFilePlacement(files[i])) {
      ReleaseInterruptions();
      return Placement{i, true};
    }
  }
  Placement result = {0, true};
  while (result.placed < count && PutFileInPlace(files[result.placed])) ++result.placed;
  if (result.placed < count) {
    for (size_t i = result.placed; i-- > 0;) {
      if (!RestorePreviousFile(files[i])) result.rolled_back = false;
    }
  }
  ReleaseInterruptions();
  return result;
}
