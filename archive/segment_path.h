#pragma once
// Catalogue paths (relative, joined with "\") and their on-disk form.

#include <string>

// The on-disk path of a catalogued segment: data root + "\" + catalogue path with every
// backslash turned into "/".
std::string DiskPathOf(const std::string& dataRoot, const std::string& cataloguePath);

// True when a catalogue path names a place below the data root: not absolute and without a
// ".." component, whichever separator it uses. Paths read back from the catalogue are checked
// with this before a file is written through them.
bool IsInsideDataRoot(const std::string& cataloguePath);
