#pragma once

#include <vector>

namespace Orvane {
namespace Client {

// Reads the files that a recognizer sends: resource images, sent whole, and speech files,
// whose WAV header (a ".wav" name in any letter case) is checked and dropped. Failures are
// error 7000 by pointer, logged at level 3; a file of 4 GiB or more is refused, since the
// counts sent are 32-bit.
class FileContent {
public:
    static void ReadResource(const char* file, std::vector<char>& data);
    static std::vector<char> ReadSpeech(const char* file);

    static const unsigned int WavHeaderSize = 44;
};

} // namespace Client
} // namespace Orvane
