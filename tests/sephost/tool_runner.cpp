#include "tool_runner.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "commands.h"

ToolRun run_sephost(const std::vector<std::string>& args) {
    std::vector<std::string> words = {"sephost"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    std::ostringstream out;
    std::ostringstream err;
    ToolRun run;
    run.status = sephost_main(static_cast<int>(words.size()), argv.data(), out, err);
    run.out = out.str();
    run.err = err.str();
    return run;
}

std::string scratch_dir(const std::string& test_name) {
    const std::filesystem::path dir = std::filesystem::path(SEPHOST_TEST_DIR) / test_name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir.generic_string();
}

std::string library_path(const char* file_name) {
    return std::string(SE_DIST_DIR) + "/" + file_name;
}

bool file_exists(const std::string& path) {
    return std::filesystem::exists(path);
}

void write_bytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}
