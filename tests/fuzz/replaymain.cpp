// The main of a replay program: runs a fuzz target once on each input named
// on the command line (a file, or every file of a folder, sorted by name), as
// libFuzzer would, so that the normal tests replay the corpus without clang.
// A broken invariant aborts the program.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int *argc, char ***argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv)
{
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    std::vector<std::filesystem::path> inputs(argv + 1, argv + argc);
    for (int i = 1; i < argc; ++i)
        if (std::filesystem::is_directory(argv[i]))
            inputs.insert(inputs.end(), std::filesystem::recursive_directory_iterator(argv[i]), {});
    std::sort(inputs.begin(), inputs.end());
    int replayed = 0;
    for (const auto &input : inputs) {
        if (!std::filesystem::is_regular_file(input))
            continue;
        std::ifstream file(input, std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(file), {}};
        std::fprintf(stderr, "replaying %s (%zu bytes)\n", input.c_str(), bytes.size());
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
        ++replayed;
    }
    std::printf("%d inputs replayed\n", replayed);
    return replayed == 0;
}
