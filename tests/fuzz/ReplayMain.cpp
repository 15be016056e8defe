// SPDX-License-Identifier: GPL-3.0-or-later
// Runs a fuzz target over stored inputs (the seed corpus and every crash found so far) in an ordinary build, so
// that the tests exercise the targets without the fuzzer's compiler. Arguments are files or folders.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const fs::path p(argv[i]);
        if (fs::is_directory(p)) {
            for (const auto& e : fs::recursive_directory_iterator(p))
                if (e.is_regular_file() && e.path().filename() != ".gitkeep")
                    inputs.push_back(e.path());
        } else if (fs::exists(p)) {
            inputs.push_back(p);
        }
    }
    for (const auto& p : inputs) {
        std::ifstream in(p, std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::fprintf(stderr, "replaying %s (%zu bytes)\n", p.c_str(), bytes.size());
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    std::fprintf(stderr, "%zu inputs replayed\n", inputs.size());
    // No input at all means the corpus was not found: that would pass without testing anything.
    return inputs.empty() ? 1 : 0;
}
