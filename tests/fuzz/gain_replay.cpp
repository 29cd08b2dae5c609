// Plays every file of the committed fuzz corpus against each built library, so the cases the
// fuzzer found stay covered in the ordinary builds too. Usage: gain_replay <dist dir> <corpus dir>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "gain_session.h"
#include "variants_table.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: gain_replay <dist dir> <corpus dir>\n", stderr);
        return 2;
    }
    std::vector<std::vector<uint8_t>> inputs;
    for (const auto& entry : std::filesystem::directory_iterator(argv[2])) {
        std::ifstream file(entry.path(), std::ios::binary);
        inputs.emplace_back(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    if (inputs.empty()) {
        std::fprintf(stderr, "gain_replay: no corpus in %s\n", argv[2]);
        return 1;
    }
    for (const SeVariant& row : kVariantTable) {
        SeLibrary library;
        std::string error;
        if (!se_load_library(std::string(argv[1]) + "/" + row.file_name, library, error)) {
            std::fprintf(stderr, "gain_replay: %s\n", error.c_str());
            return 1;
        }
        if (gain_factor_of(library) != row.gain_factor) {
            std::fprintf(stderr, "gain_replay: %s reports another module\n", row.file_name);
            return 1;
        }
        for (const std::vector<uint8_t>& input : inputs) {
            play_gain_session(library, row.gain_factor, input.data(), input.size());
        }
        se_unload_library(library);
    }
    std::printf("gain_replay: %zu inputs against %zu libraries passed\n", inputs.size(),
                std::size(kVariantTable));
    return 0;
}
