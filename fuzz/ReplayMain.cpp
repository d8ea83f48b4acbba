// Runs a fuzz target over saved inputs without libFuzzer: each argument is a file or a folder
// of files. The normal build runs the committed corpora through it as a test, so every input
// that once found a fault stays checked with the compiler and sanitizers of that build.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    int runs = 0;
    for (int i = 1; i < argc; ++i) {
        std::vector<fs::path> files;
        if (fs::is_directory(argv[i])) {
            for (const fs::directory_entry& e : fs::recursive_directory_iterator(argv[i]))
                if (e.is_regular_file()) files.push_back(e.path());
        } else {
            files.push_back(argv[i]);
        }
        for (const fs::path& p : files) {
            std::ifstream f(p, std::ios::binary);
            if (!f) {
                std::fprintf(stderr, "cannot read %s\n", p.c_str());
                return 2;
            }
            const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(f), {}};
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            ++runs;
        }
    }
    std::printf("%d inputs run\n", runs);
    return runs > 0 ? 0 : 1;
}
