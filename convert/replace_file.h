// Files written aside are put in their targets' places together: an updater still
// reading the old files never sees a torn one, and a failure loses nothing.
#pragma once

#include <cstddef>

#include "platform/platform.h"

// Puts every file in place, or none: when one cannot be, those already put in place
// get their previous content back. Returns count, or the index of the file that
// could not be put in place.
size_t PutFilesInPlace(FileReplacement* files, size_t count);
