// Which file a target's name stands for: symbolic links are followed, but only
// those the kernel's protected_symlinks rule would follow, in every folder.
#pragma once

// Follows links from name to the file they end at, which need not exist, into
// resolved (kPathSize bytes). False when a link is not to be followed: it belongs
// neither to the user converting nor to the owner of the folder it stands in, as a
// link another user planted in a folder others may write.
bool ResolvePermittedLinks(const char* name, char* resolved);
