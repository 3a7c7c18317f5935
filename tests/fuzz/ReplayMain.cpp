// Runs a fuzz target's input function once for each file of the directories given, in
// name order, without libFuzzer: the corpus and the saved crashers replayed as an ordinary
// test. A missing directory holds no inputs. A failing input aborts inside the target;
// the name of the input being run is printed first.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

std::vector<std::filesystem::path> InputsOf(const std::filesystem::path& directory)
{
    std::vector<std::filesystem::path> inputs;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
        if (entry.is_regular_file()) {
            inputs.push_back(entry.path());
        }
    }
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

} // namespace

int main(int argc, char** argv)
{
    int replayed = 0;
    for (int i = 1; i < argc; ++i) {
        for (const std::filesystem::path& input : InputsOf(argv[i])) {
            std::ifstream file(input, std::ios::binary);
            const std::vector<char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
            if (!file.good() && !file.eof()) {
                std::fprintf(stderr, "cannot read %s\n", input.c_str());
                return 1;
            }
            std::printf("%s (%zu bytes)\n", input.c_str(), bytes.size());
            std::fflush(stdout);
            // A heap copy of exactly the input's size (never null, as with libFuzzer), so
            // that a read past its end is caught under AddressSanitizer.
            const std::unique_ptr<std::uint8_t[]> data(new std::uint8_t[bytes.size()]);
            std::copy(bytes.begin(), bytes.end(), data.get());
            LLVMFuzzerTestOneInput(data.get(), bytes.size());
            ++replayed;
        }
    }
    std::printf("%d inputs replayed\n", replayed);
    return 0;
}
