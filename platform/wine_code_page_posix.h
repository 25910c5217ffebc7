// The ANSI code page wine gives a Windows program under the current Unix locale,
// which is what the names in a list for a Windows updater must be written in.
#pragma once

#include <cstddef>

// That of the Windows locale matching LC_ALL, LC_CTYPE or LANG, or 1252 when that
// locale is not installed. codeset gets the charset wine reads file names in: the
// locale's own.
unsigned WineAnsiCodePage(char* codeset, size_t codeset_size);
