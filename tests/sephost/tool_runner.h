// Runs sephost in-process with a given command line and keeps what it printed.
#pragma once

#include <string>
#include <vector>

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

ToolRun run_sephost(const std::vector<std::string>& args);

// A fresh scratch directory per test, below the test's build directory.
std::string scratch_dir(const std::string& test_name);
std::string library_path(const char* file_name);
bool file_exists(const std::string& path);
void write_bytes(const std::string& path, const std::vector<unsigned char>& bytes);
