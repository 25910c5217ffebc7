// The steps of one file's replacement, which each platform file gives and the
// portable all-or-none step (file_replacement.cpp) puts together.
#pragma once

#include "platform/file_replacement.h"

// 1 when the target may be replaced: a plain file the user may write, or none.
int TargetIsReplaceable(const FileReplacement* file);
// 1 when two replacements would end at the same file (a link to the other target).
int SameTarget(const FileReplacement* one, const FileReplacement* other);
// Keeps the old content aside (or a mark that there was none), so that it can be
// put back until EndFileReplacement; the target does not change yet. 1 on success.
int PrepareFilePlacement(FileReplacement* file);
// Puts the finished content in place in one step, keeping the target's attributes;
// where the target cannot be replaced (held open, owned by another user), writes
// the content into it instead.
int PutFileInPlace(FileReplacement* file);
// Gives the target back its previous content after PutFileInPlace; 1 when it has it.
int RestorePreviousFile(FileReplacement* file);
// Between these, a signal that ends the program waits. They nest.
void HoldInterruptions();
void ReleaseInterruptions();

// Under the lock: what a converter killed amid replacing target left beside it is
// cleared, and an old content it had kept aside, known whole, goes back first.
void RecoverLeftovers(const char* target);
