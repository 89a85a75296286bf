#pragma once
// Catalogue paths (relative, joined with "\") and their on-disk form.

#include <string>

// The on-disk path of a catalogued segment: data root + "\" + catalogue path with every
// backslash turned into "/".
std::string DiskPathOf(const std::string& dataRoot, const std::string& cataloguePath);
