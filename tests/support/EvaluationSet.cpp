#include "support/EvaluationSet.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace Orvane {
namespace Test {
namespace {

constexpr int kEvaluationSeed = 1;
constexpr int kTuningSeed = 2;
constexpr int kTuningUnseenSeed = 4;
constexpr int kHeldOutSeed = 5;
constexpr int kTuningOpenersSeed = 6;
constexpr std::size_t kEvaluationSentences = 20;
constexpr std::size_t kEvaluationInTuningVoicesSentences = 12;
constexpr std::size_t kTuningSentences = 10;
constexpr std::size_t kCommands = 12;

// Makes the set in `dir` unless it is there. One process makes it under a file lock while
// the others wait; the script writes a private directory that is then renamed.
void MakeOnce(const std::string& list, int seed, std::size_t sentences, const std::string& voices,
              const std::string& dir, bool noise)
{
    if (std::ifstream(dir + "/manifest").good()) {
        return;
    }
    const std::string part = dir + ".part" + std::to_string(getpid());
    std::ostringstream make;
    make << "[ -f '" << dir << "/manifest' ] || (rm -rf '" << part << "' && '" << TESSIVAL_SOURCE_DIR
         << "/scripts/make-vad-set.sh' '" << DataPath("vad/" + list) << "' " << seed << " '" << part << "' "
         << sentences << " '" << (voices.empty() ? std::string() : DataPath("vad/" + voices)) << "' "
         << (noise ? "noise" : "none") << " >/dev/null 2>&1 && mv -T '" << part << "' '" << dir << "')";
    const std::string command =
        "mkdir -p '" + dir.substr(0, dir.rfind('/')) + "' && flock '" + dir + ".lock' -c \"" + make.str() + "\"";
    if (std::system(command.c_str()) != 0 || !std::ifstream(dir + "/manifest").good()) {
        throw std::runtime_error("cannot make the detection set: " + command);
    }
}

short Saturate(double v)
{
    return static_cast<short>(std::max(-32768.0, std::min(32767.0, std::round(v))));
}

// A key of what makes the set: the script, the sentence list and the voices, so that a set
// made by an older script is made again.
std::string Inputs(const std::string& list, const std::string& voices)
{
    std::string text;
    for (const std::string& path : {std::string(TESSIVAL_SOURCE_DIR) + "/scripts/make-vad-set.sh", DataPath("vad/" + list),
                                    voices.empty() ? std::string() : DataPath("vad/" + voices)}) {
        std::ifstream in(path, std::ios::binary);
        text.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        text += '\0';
    }
    char key[17];
    std::snprintf(key, sizeof key, "%016llx", static_cast<unsigned long long>(std::hash<std::string>{}(text)));
    return key;
}

// Where the set of these arguments is kept.
std::string SetDirectory(const std::string& list, int seed, std::size_t sentences, const std::string& voices,
                         bool noise)
{
    return std::string(TESSIVAL_BINARY_DIR) + "/vad-sets/" + list + "-" + std::to_string(seed) + "-" +
           std::to_string(sentences) + "-" + Inputs(list, voices) + (noise ? "" : "-speech");
}

} // namespace

EvaluationSet::EvaluationSet(const std::string& list, int seed, std::size_t sentences, const std::string& voices)
{
    const std::string dir = SetDirectory(list, seed, sentences, voices, true);
    MakeOnce(list, seed, sentences, voices, dir, true);
    Load(dir);
    if (noise_.size() != Kinds().size()) {
        throw std::runtime_error("incomplete detection set in " + dir);
    }
}

EvaluationSet::EvaluationSet(const std::string& list, int seed, std::size_t sentences, const std::string& voices,
                             const EvaluationSet& noise)
    : noise_(noise.noise_), noisePower_(noise.noisePower_)
{
    const std::string dir = SetDirectory(list, seed, sentences, voices, false);
    MakeOnce(list, seed, sentences, voices, dir, false);
    Load(dir);
}

void EvaluationSet::Load(const std::string& dir)
{
    std::ifstream manifest(dir + "/manifest");
    for (std::string line; std::getline(manifest, line);) {
        std::istringstream fields(line);
        std::string type, a, b;
        fields >> type >> a >> b;
        if (type == "speech") {
            speech_.push_back(ReadSamples(dir + "/" + a));
            voices_.push_back(b);
            meanSpeechPower_ += ActivePower(speech_.back());
        } else if (type == "noise") {
            noise_[a] = ReadSamples(dir + "/" + b);
            noisePower_[a] = ActivePower(noise_[a]);
        }
    }
    if (speech_.empty()) {
        throw std::runtime_error("no speech in the detection set in " + dir);
    }
    meanSpeechPower_ /= static_cast<double>(speech_.size());
}

const EvaluationSet& EvaluationSet::Evaluation()
{
    static const EvaluationSet set("evaluation-sentences.txt", kEvaluationSeed, kEvaluationSentences,
                                   "evaluation-voices.txt");
    return set;
}

const EvaluationSet& EvaluationSet::EvaluationInTuningVoices()
{
    static const EvaluationSet set("evaluation-sentences.txt", kEvaluationSeed, kEvaluationInTuningVoicesSentences);
    return set;
}

const EvaluationSet& EvaluationSet::Tuning()
{
    static const EvaluationSet set("tuning-sentences.txt", kTuningSeed, kTuningSentences);
    return set;
}

const EvaluationSet& EvaluationSet::TuningInUnseenVoices()
{
    static const EvaluationSet set("tuning-sentences.txt", kTuningUnseenSeed, kTuningSentences, "tuning-voices.txt");
    return set;
}

const EvaluationSet& EvaluationSet::Commands()
{
    static const EvaluationSet set("evaluation-commands.txt", kEvaluationSeed, kCommands, "", Evaluation());
    return set;
}

const EvaluationSet& EvaluationSet::CommandsInUnseenVoices()
{
    static const EvaluationSet set("evaluation-commands.txt", kEvaluationSeed, kCommands, "evaluation-voices.txt",
                                   Evaluation());
    return set;
}

const EvaluationSet& EvaluationSet::TuningCommands()
{
    static const EvaluationSet set("tuning-commands.txt", kTuningSeed, kCommands, "", Tuning());
    return set;
}

const EvaluationSet& EvaluationSet::TuningCommandsInUnseenVoices()
{
    static const EvaluationSet set("tuning-commands.txt", kTuningUnseenSeed, kCommands, "tuning-voices.txt",
                                   TuningInUnseenVoices());
    return set;
}

const EvaluationSet& EvaluationSet::TuningOpeners()
{
    static const EvaluationSet set("tuning-openers.txt", kTuningOpenersSeed, kEvaluationSentences,
                                   "tuning-openers-voices.txt");
    return set;
}

const EvaluationSet& EvaluationSet::HeldOut()
{
    static const EvaluationSet set("heldout-sentences.txt", kHeldOutSeed, kEvaluationSentences, "heldout-voices.txt");
    return set;
}

const EvaluationSet& EvaluationSet::HeldOutCommands()
{
    static const EvaluationSet set("heldout-commands.txt", kHeldOutSeed, kEvaluationSentences, "heldout-voices.txt",
                                   HeldOut());
    return set;
}

const EvaluationSet& EvaluationSet::HeldOutCommandsInEvaluationVoices()
{
    static const EvaluationSet set("heldout-commands.txt", kHeldOutSeed, kEvaluationSentences, "evaluation-voices.txt",
                                   HeldOut());
    return set;
}

const std::vector<std::string>& EvaluationSet::Kinds()
{
    // New kinds go at the end: a kind's place picks its noise stretches.
    static const std::vector<std::string> kinds{"white",  "pink",  "brown",  "hum",    "babble", "music",
                                                "clicks", "taps",  "cutoff", "notes",  "ticks",  "typing",
                                                "strums", "knocks", "dishes", "doors"};
    return kinds;
}

const std::vector<double>& EvaluationSet::Snrs()
{
    static const std::vector<double> snrs{20.0, 10.0, 5.0, 0.0};
    return snrs;
}

const Samples& EvaluationSet::NoiseOf(const std::string& kind) const
{
    const auto found = noise_.find(kind);
    if (found == noise_.end()) {
        throw std::invalid_argument("no noise kind " + kind);
    }
    return found->second;
}

std::size_t EvaluationSet::KindIndex(const std::string& kind) const
{
    return static_cast<std::size_t>(std::find(Kinds().begin(), Kinds().end(), kind) - Kinds().begin());
}

double EvaluationSet::Gain(const std::string& kind, double speechPower, double snrDb) const
{
    return std::sqrt(speechPower / (noisePower_.at(kind) * std::pow(10.0, snrDb / 10.0)));
}

Samples EvaluationSet::Noisy(std::size_t speech, const std::string& kind, double snrDb) const
{
    const Samples& clean = Clean(speech);
    const Samples& noise = NoiseOf(kind);
    if (noise.size() <= clean.size()) {
        throw std::runtime_error("noise shorter than the speech");
    }
    // A stretch that differs by sentence, kind and SNR, on a 10 ms grid.
    const std::size_t room = (noise.size() - clean.size()) / 160;
    const std::size_t start =
        160 * ((speech * 7919 + KindIndex(kind) * 3001 + static_cast<std::size_t>(snrDb) * 613) % room);
    const double gain = Gain(kind, ActivePower(clean), snrDb);
    Samples mixed(clean.size());
    for (std::size_t i = 0; i < clean.size(); ++i) {
        mixed[i] = Saturate(clean[i] + gain * noise[start + i]);
    }
    return mixed;
}

Samples EvaluationSet::NoiseAlone(const std::string& kind, double snrDb, double seconds) const
{
    const Samples& noise = NoiseOf(kind);
    const std::size_t count = std::min(noise.size(), static_cast<std::size_t>(seconds * kSampleRate));
    const std::size_t start = 160 * ((KindIndex(kind) * 4021) % ((noise.size() - count) / 160 + 1));
    const double gain = Gain(kind, meanSpeechPower_, snrDb);
    Samples out(count);
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = Saturate(gain * noise[start + i]);
    }
    return out;
}

} // namespace Test
} // namespace Orvane
