#include "support/AudioFixture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace Orvane {
namespace Test {
namespace {

std::string CacheDir()
{
    const std::string dir = std::string(TESSIVAL_BINARY_DIR) + "/audio-cache";
    const std::string command = "mkdir -p '" + dir + "'";
    if (std::system(command.c_str()) != 0) {
        throw std::runtime_error("cannot create " + dir);
    }
    return dir;
}

std::string Quote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}


// Runs `make` (a shell command writing its output to the path given as $OUT) once per key;
// the file is written under a private name and renamed, so parallel tests never see a part.
Samples Cached(const std::string& key, const std::string& make)
{
    const std::string path = CacheDir() + "/" + std::to_string(std::hash<std::string>{}(key)) + ".raw";
    if (std::ifstream(path).good()) {
        return ReadSamples(path);
    }
    const std::string part = path + ".part" + std::to_string(getpid());
    const std::string command = "OUT=" + Quote(part) + "; " + make + " && mv -f \"$OUT\" " + Quote(path);
    if (std::system(command.c_str()) != 0) {
        std::remove(part.c_str());
        throw std::runtime_error("audio fixture failed: " + make);
    }
    return ReadSamples(path);
}

short Saturate(double v)
{
    if (!std::isfinite(v)) {
        return 0;
    }
    return static_cast<short>(std::max(-32768.0, std::min(32767.0, std::round(v))));
}

} // namespace

std::vector<char> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot open " + path);
    }
    return std::vector<char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

Samples ReadSamples(const std::string& path)
{
    const std::vector<char> bytes = ReadFile(path);
    Samples samples(bytes.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<short>(static_cast<unsigned char>(bytes[2 * i]) |
                                        (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    }
    return samples;
}

std::string DataPath(const std::string& relative)
{
    return std::string(TESSIVAL_SOURCE_DIR) + "/data/" + relative;
}

std::string ModelPath()
{
    return DataPath("quillet/model_140319");
}

std::string ConfigPath()
{
    return DataPath("quillet/vad_config.ini");
}

std::vector<std::string> HeldOutSentences()
{
    std::ifstream in(DataPath("vad/tuning-sentences.txt"));
    std::vector<std::string> sentences;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line[0] != '#') {
            sentences.push_back(line);
        }
    }
    return sentences;
}

std::vector<Voice> TestVoices()
{
    return {{"en-us", 160, 50}, {"en-gb+f2", 175, 60}, {"en-gb-scotland", 145, 40}, {"en-029+f3", 190, 70}};
}

Samples Speak(const std::string& text, const Voice& voice)
{
    std::ostringstream make;
    make << "espeak-ng -v " << Quote(voice.name) << " -s " << voice.speed << " -p " << voice.pitch
         << " -w \"$OUT.wav\" " << Quote(text) << " && sox -D -v 0.9 \"$OUT.wav\" -r 16000 -b 16 -c 1"
         << " -e signed-integer -t raw \"$OUT\" 2>/dev/null && rm -f \"$OUT.wav\"";
    return Cached("speak|" + voice.name + "|" + std::to_string(voice.speed) + "|" + std::to_string(voice.pitch) +
                      "|" + text,
                  make.str());
}

Samples Noise(NoiseKind kind, double seconds, int seed)
{
    const char* name = kind == NoiseKind::White ? "whitenoise" : kind == NoiseKind::Pink ? "pinknoise" : "brownnoise";
    std::ostringstream make;
    // sox -R repeats its default seed; the seed argument picks a stretch further on.
    make << "sox -R -D -n -r 16000 -b 16 -c 1 -e signed-integer -t raw \"$OUT\" synth " << seconds + seed << " "
         << name << " vol 0.9 trim " << seed;
    return Cached(std::string("noise|") + name + "|" + std::to_string(seconds) + "|" + std::to_string(seed),
                  make.str());
}

Samples Silence(double seconds)
{
    return Samples(static_cast<std::size_t>(seconds * kSampleRate), 0);
}

double ActivePower(const Samples& speech)
{
    const std::size_t frame = kSampleRate / 50;
    std::vector<double> energies;
    for (std::size_t start = 0; start + frame <= speech.size(); start += frame) {
        double sum = 0.0;
        for (std::size_t i = start; i < start + frame; ++i) {
            sum += double(speech[i]) * speech[i];
        }
        energies.push_back(sum / frame);
    }
    if (energies.empty()) {
        return 0.0;
    }
    const double loudest = *std::max_element(energies.begin(), energies.end());
    double total = 0.0;
    std::size_t count = 0;
    for (double e : energies) {
        if (e > loudest * 1e-4) {
            total += e;
            ++count;
        }
    }
    return total / count;
}

Samples MixAtSnr(const Samples& speech, const Samples& noise, double snrDb)
{
    double noisePower = 0.0;
    for (short n : noise) {
        noisePower += double(n) * n;
    }
    noisePower /= noise.size();
    const double gain = std::sqrt(ActivePower(speech) / (noisePower * std::pow(10.0, snrDb / 10.0)));
    Samples mixed(speech.size());
    for (std::size_t i = 0; i < speech.size(); ++i) {
        mixed[i] = Saturate(speech[i] + gain * noise[i % noise.size()]);
    }
    return mixed;
}

Samples Join(const std::vector<Samples>& parts)
{
    Samples joined;
    for (const Samples& part : parts) {
        joined.insert(joined.end(), part.begin(), part.end());
    }
    return joined;
}

} // namespace Test
} // namespace Orvane
