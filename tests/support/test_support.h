// Helpers shared by the test programs.
#pragma once

#include <string>

// A scratch folder of this test process inside the build tree (created on
// first use).
const char *test_tmp_dir();
// A path inside the scratch folder.
std::string test_tmp_path(const char *name);
// The repository's top folder.
const char *source_dir();
// A whole file's bytes; if_missing when it can't be opened.
std::string read_whole_file(const std::string &path, const std::string &if_missing = "");
// Writes the bytes as the whole file; false when it can't be created.
bool write_whole_file(const std::string &path, const std::string &bytes);
