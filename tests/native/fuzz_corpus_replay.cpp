// Replays every input of the configuration reader's fuzz corpus through the
// fuzz target's checks, in the sanitized native build: inputs that once
// found or guarded a fault keep being tested without a fuzzing run.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus-directory>\n", argv[0]);
        return 2;
    }
    int replayed = 0;
    for (const auto& file : std::filesystem::directory_iterator(argv[1])) {
        if (!file.is_regular_file()) {
            continue;
        }
        std::ifstream in(file.path(), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        ++replayed;
    }
    std::printf("replayed %d inputs from %s\n", replayed, argv[1]);
    return replayed > 0 ? 0 : 1;
}
