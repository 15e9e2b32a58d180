// Helpers shared by the test programs.
#pragma once

#include <string>

// A scratch folder inside the build tree (created on first use).
const char *test_tmp_dir();
// A path inside the scratch folder.
std::string test_tmp_path(const char *name);
// The repository's top folder.
const char *source_dir();
