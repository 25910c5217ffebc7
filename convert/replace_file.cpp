// Putting finished files in place together.
#include "convert/replace_file.h"

size_t PutFilesInPlace(FileReplacement* files, size_t count) {
  // Refusals are found before anything changes; a file written twice would lose
  // the first content.
  for (size_t i = 0; i < count; ++i) {
    if (!TargetIsReplaceable(&files[i])) return i;
    for (size_t earlier = 0; earlier < i; ++earlier) {
      if (SameTarget(&files[earlier], &files[i])) return i;
    }
  }
  HoldInterruptions();
  size_t placed = 0;
  while (placed < count && PutFileInPlace(&files[placed])) ++placed;
  if (placed < count) {
    for (size_t i = placed; i-- > 0;) RestorePreviousFile(&files[i]);
  }
  ReleaseInterruptions();
  return placed;
}
