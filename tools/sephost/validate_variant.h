// Our six libraries, recognised by file name or module identifier in the variant table.
#pragma once

#include <string>

#include "variant.h"

// The row whose file name matches the base name of `path` (case-insensitively), else the row whose
// identifier equals `identifier` (may be null), else null.
const SeVariant* se_find_variant(const std::string& path, const char* identifier);
std::string se_version_text(const SeVariant& variant);
