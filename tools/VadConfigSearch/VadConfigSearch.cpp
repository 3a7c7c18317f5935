// Chooses the detector configuration's "VAD:", "SBM:", "GMMW:" (and the noise tracker's
// drift, "PKF:DrvVar") values on the tuning sets
// (data/vad/tuning-sentences.txt made by scripts/make-vad-set.sh with the tuning seed, in the
// script's voices and in the voices of data/vad/tuning-voices.txt that the model never heard;
// the evaluation list is never read here), by coordinate search from a starting file.
//
//   VadConfigSearch [--start FILE] [--out FILE] [--model FILE] [--rounds N] [--threads N]
//                   [--only PREFIX]   (search only the keys that start with PREFIX)
//                   [--skip PREFIX]   (leave the keys that start with PREFIX as they are)
//                   [--mode both|helper|continuous] (the modes measured and tabled)
//                   [--evaluate] (the starting file's objective, where it falls below the
//                   floor, and tables; no search) [--floor FILE]
//                   [--strict] (the helper's floor allows no sentence less)
//
// The objective, summed over both sets and every noise kind and SNR (lower is better), of the
// detector as the helper runs it (one utterance after a noise lead-in) and of the continuous
// detector over each whole file (DetectionScore.h):
//   helper:
//   3.0 x sentences not delivered (%)
//   0.5 x late ends (% of files whose utterance does not end within 1 s of the speech)
//   and on short commands said alone (data/vad/tuning-commands.txt in the same voices, after
//   silence and after each noise kind at 10 and 0 dB):
//   3.0 x commands not delivered (%)
//   100 x the median end event's delay (s), where commands end (not in babble or music)
//   continuous:
//   3.0 x missed speech (% of speech frames outside every utterance)
//   0.5 x late ends
//   5.0 x false starts per minute on noise alone
//   0.2 x frames flagged far (over 1 s) from speech (%)
//   1.0 x speech distortion: the noise-reduced speech's level loss (dB), less its SI-SDR
//         gain (dB)
// so one more missed percent of speech weighs as much as six late ends in a hundred, three
// fifths of a false start a minute or three decibels of SI-SDR: speech that never reaches
// the recogniser is the worst outcome, and a sentence that the helper does not deliver
// whole is speech that never reaches it. --mode helper or --mode continuous keeps one part.
//
// A floor: a value is taken only if no noise kind and SNR of either set is worse than with the starting
// file (--floor FILE: with that file instead) by more than one file's or one start's worth:
// in the helper's mode one sentence less delivered; in the continuous one, found speech 1 %
// less, ends within 1 s one file fewer, false starts one a minute more, far-flagged frames
// 1 % more (not in babble and music, where utterances do not end: as in the accuracy rows);
// and in steady noise (white, pink, brown, hum), in either mode, the median end of speech
// more than 100 ms later; and on the commands, one command less delivered or one more lost
// after a burst.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

#include "Vad/DetectionScore.h"

namespace {

using namespace Orvane::Test;

struct Candidate {
    std::string key;
    std::vector<std::string> values;
};

// The values tried for each key, in search order.
const std::vector<Candidate>& Candidates()
{
    // The maximum gap and the tail end the utterance: above 45 frames either would move the
    // end of speech by more than 100 ms.
    static const std::vector<Candidate> candidates{
        {"VAD:ProbS2N", {"0.01", "0.02", "0.05", "0.1", "0.2", "0.5", "0.9"}},
        {"VAD:ProbN2S", {"0.05", "0.1", "0.2", "0.4", "0.6", "0.8"}},
        {"VAD:Threshold", {"0.01", "0.03", "0.05", "0.1", "0.2", "0.3", "0.5", "1.0", "2.0"}},
        {"SBM:MajorityVotes", {"10", "15", "20", "25", "30"}},
        {"SBM:MajorityVotes_Pause", {"3", "5", "10", "15", "20"}},
        {"SBM:MaxGap", {"25", "35", "40", "45"}},
        {"SBM:MaxGap_Single", {"0", "35", "40", "45"}},
        {"SBM:TailMargin", {"20", "30", "40", "45"}},
        {"SBM:MinSpeech", {"0", "30", "50", "70", "100", "150"}},
        {"SBM:MaxGap_Short", {"60", "100", "150", "200"}},
        {"SBM:ShortFall", {"0", "65", "70", "75", "80", "85"}},
        {"SBM:ShortContrast", {"0", "3", "4", "5", "6", "8"}},
        {"GMMW:NScale", {"0.1", "0.2", "0.3", "0.5"}},
        {"GMMW:Forget", {"0.2", "0.5", "0.8"}},
        {"PKF:DrvVar", {"0.0001", "0.001", "0.01"}},
    };
    return candidates;
}

using Settings = std::vector<std::pair<std::string, std::string>>;

// The "[Environment]" lines of a configuration file, in order, with comments dropped.
Settings ReadSettings(const std::string& path)
{
    std::ifstream in(path);
    if (!in) {
        throw std::runtime_error("cannot open " + path);
    }
    Settings settings;
    for (std::string line; std::getline(in, line);) {
        const std::size_t eq = line.find('=');
        if (line.empty() || line[0] == ';' || line[0] == '[' || eq == std::string::npos) {
            continue;
        }
        settings.emplace_back(line.substr(0, eq), line.substr(eq + 1));
    }
    return settings;
}

void Set(Settings& settings, const std::string& key, const std::string& value)
{
    for (auto& entry : settings) {
        if (entry.first == key) {
            entry.second = value;
            return;
        }
    }
    settings.emplace_back(key, value);
}

std::string Get(const Settings& settings, const std::string& key)
{
    for (const auto& entry : settings) {
        if (entry.first == key) {
            return entry.second;
        }
    }
    return "(preset)";
}

void Write(const Settings& settings, const std::string& path)
{
    std::ofstream out(path);
    out << "[Environment]\n";
    for (const auto& entry : settings) {
        out << entry.first << "=" << entry.second << "\n";
    }
}

double HelperObjective(const Figures& figures)
{
    double cost = 0.0;
    for (const auto& entry : figures) {
        cost += 3.0 * (100.0 - entry.second.DeliveredPercent());
        cost += 0.5 * (100.0 - entry.second.EndedInTimePercent());
    }
    return cost;
}

double CommandObjective(const Figures& figures)
{
    double cost = 0.0;
    for (const auto& entry : figures) {
        cost += 3.0 * (100.0 - entry.second.DeliveredPercent());
        if (!std::isnan(entry.second.EndMedian())) {
            cost += 100.0 * entry.second.EndMedian();
        }
    }
    return cost;
}

double ContinuousObjective(const Figures& figures)
{
    double cost = 0.0;
    for (const auto& entry : figures) {
        const ConditionFigures& f = entry.second;
        cost += 3.0 * (100.0 - f.FoundPercent());
        cost += 0.5 * (100.0 - f.EndedInTimePercent());
        cost += 5.0 * f.FalseStartsPerMinute();
        cost += 0.2 * f.FarFlaggedPercent();
        if (!std::isnan(f.NoiseReductionGain())) {
            cost += std::max(0.0, -f.LevelChange()) - f.NoiseReductionGain();
        }
    }
    return cost;
}

std::string Option(int argc, char** argv, const std::string& name, const std::string& fallback)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (argv[i] == name) {
            return argv[i + 1];
        }
    }
    return fallback;
}

// The figures of both modes on one tuning set.
struct Measured {
    Figures helper;
    Figures continuous;
    Figures commands;
};

// The tuning sets: in the tuning voices, and in voices the model never heard.
std::vector<const EvaluationSet*> TuningSets()
{
    return {&EvaluationSet::Tuning(), &EvaluationSet::TuningInUnseenVoices()};
}

// The tuning commands in the voices of each tuning set.
std::vector<const EvaluationSet*> TuningCommandSets()
{
    return {&EvaluationSet::TuningCommands(), &EvaluationSet::TuningCommandsInUnseenVoices()};
}

const std::vector<double>& CommandSnrs()
{
    static const std::vector<double> snrs{10.0, 0.0};
    return snrs;
}

// Sentences (and commands) a condition may deliver fewer than the floor.
int g_tolerance = 1;
// Noise that the detector takes for speech, so that its utterances do not end.
bool Endless(const std::string& kind)
{
    return kind == "babble" || kind == "music";
}

bool Steady(const std::string& kind)
{
    return kind == "white" || kind == "pink" || kind == "brown" || kind == "hum";
}

// The end of speech more than 100 ms later in steady noise.
bool EndsLater(const std::string& kind, const ConditionFigures& trial, const ConditionFigures& floor)
{
    return Steady(kind) && !std::isnan(floor.EndMedian()) && !(trial.EndMedian() <= floor.EndMedian() + 0.1);
}

// Where `trial` falls below `floor` (see the header), or "".
std::string Regression(const Measured& trial, const Measured& floor, std::size_t files, std::size_t commands);

std::string Regression(const std::vector<Measured>& trial, const std::vector<Measured>& floor)
{
    const std::vector<const EvaluationSet*> sets = TuningSets();
    const std::vector<const EvaluationSet*> commandSets = TuningCommandSets();
    for (std::size_t i = 0; i < trial.size(); ++i) {
        const std::string below =
            Regression(trial[i], floor[i], sets[i]->SpeechCount(), commandSets[i]->SpeechCount());
        if (!below.empty()) {
            return (i == 0 ? "" : "unseen voices: ") + below;
        }
    }
    return "";
}

std::string Name(const Orvane::Test::Condition& condition)
{
    return condition.first + (std::isinf(condition.second) ? std::string()
                                                            : " " + std::to_string(static_cast<int>(condition.second)) + " dB");
}

std::string Regression(const Measured& trial, const Measured& floor, std::size_t files, std::size_t commands)
{
    const double file = g_tolerance * 100.0 / static_cast<double>(files);
    const double command = g_tolerance * 100.0 / static_cast<double>(commands);
    for (const auto& entry : floor.commands) {
        const ConditionFigures& t = trial.commands.at(entry.first);
        const char* what = t.DeliveredPercent() < entry.second.DeliveredPercent() - command ? "commands delivered"
                           : t.UsedUp() > entry.second.UsedUp()                             ? "commands used up"
                                                                                            : nullptr;
        if (what != nullptr) {
            return Name(entry.first) + " " + what;
        }
    }
    for (const auto& entry : floor.helper) {
        const ConditionFigures& t = trial.helper.at(entry.first);
        const char* what = t.DeliveredPercent() < entry.second.DeliveredPercent() - file ? "delivered"
                           : EndsLater(entry.first.first, t, entry.second)              ? "end of speech (helper)"
                                                                                         : nullptr;
        if (what != nullptr) {
            return entry.first.first + " " + std::to_string(static_cast<int>(entry.first.second)) + " dB " + what;
        }
    }
    for (const auto& entry : floor.continuous) {
        const ConditionFigures& t = trial.continuous.at(entry.first);
        const ConditionFigures& f = entry.second;
        const bool endless = Endless(entry.first.first);
        const char* what = t.FoundPercent() < f.FoundPercent() - 1.0                              ? "found"
                           : !endless && t.EndedInTimePercent() < f.EndedInTimePercent() - file   ? "ends in time"
                           : t.FalseStartsPerMinute() > f.FalseStartsPerMinute() + 1.0             ? "false starts"
                           : !endless && t.FarFlaggedPercent() > f.FarFlaggedPercent() + 1.0      ? "far flagged"
                           : EndsLater(entry.first.first, t, f)                        ? "end of speech"
                                                                                         : nullptr;
        if (what != nullptr) {
            return entry.first.first + " " + std::to_string(static_cast<int>(entry.first.second)) + " dB " + what;
        }
    }
    return "";
}

bool Flag(int argc, char** argv, const std::string& name)
{
    for (int i = 1; i < argc; ++i) {
        if (argv[i] == name) {
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        const std::string start = Option(argc, argv, "--start", ConfigPath());
        const std::string out = Option(argc, argv, "--out", "vad_config.tuned.ini");
        const std::string model = Option(argc, argv, "--model", ModelPath());
        const int rounds = std::atoi(Option(argc, argv, "--rounds", "2").c_str());
        const unsigned threads = static_cast<unsigned>(std::atoi(Option(argc, argv, "--threads", "3").c_str()));
        const std::string only = Option(argc, argv, "--only", "");
        const std::string skip = Option(argc, argv, "--skip", "");
        const std::string mode = Option(argc, argv, "--mode", "both");
        g_tolerance = Flag(argc, argv, "--strict") ? 0 : 1;
        const bool helper = mode != "continuous";
        const bool continuous = mode != "helper";
        const std::vector<const EvaluationSet*> sets = TuningSets();
        const std::string scratch = "/tmp/vad-config-search-" + std::to_string(getpid()) + ".ini";

        Settings best = ReadSettings(start);
        auto measure = [&](const Settings& settings) {
            Write(settings, scratch);
            std::vector<Measured> all;
            for (const EvaluationSet* set : sets) {
                Measured m;
                if (helper) {
                    m.helper =
                        EvaluateDetector(*set, scratch, EvaluationSet::Kinds(), threads, DetectionMode::Helper, model);
                    m.commands = EvaluateCommands(*TuningCommandSets()[all.size()], scratch, CommandSnrs(), threads, model);
                }
                if (continuous) {
                    m.continuous = EvaluateDetector(*set, scratch, EvaluationSet::Kinds(), threads,
                                                    DetectionMode::Continuous, model);
                }
                all.push_back(std::move(m));
            }
            return all;
        };
        auto costOf = [](const Measured& m) {
            return HelperObjective(m.helper) + CommandObjective(m.commands) + ContinuousObjective(m.continuous);
        };
        auto cost = [&](const std::vector<Measured>& all) {
            double sum = 0.0;
            for (const Measured& m : all) {
                sum += costOf(m);
            }
            return sum;
        };
        const std::vector<Measured> first = measure(best);
        const std::string floorFile = Option(argc, argv, "--floor", "");
        const std::vector<Measured> floor = floorFile.empty() ? first : measure(ReadSettings(floorFile));
        double bestCost = cost(first);
        // A starting file below the floor gives way to any value that is not.
        const std::string firstBelow = Regression(first, floor);
        bool bestBelow = !firstBelow.empty();
        std::printf("start %s: objective %.2f (tuning voices %.2f, unseen voices %.2f)%s\n", start.c_str(), bestCost,
                    costOf(first[0]), costOf(first[1]),
                    bestBelow ? (" (below the floor: " + firstBelow + ")").c_str() : "");
        const bool search = !Flag(argc, argv, "--evaluate");
        for (int round = 0; search && round < rounds; ++round) {
            bool changed = false;
            for (const Candidate& c : Candidates()) {
                if (c.key.compare(0, only.size(), only) != 0 || (!skip.empty() && c.key.compare(0, skip.size(), skip) == 0)) {
                    continue;
                }
                const std::string was = Get(best, c.key);
                for (const std::string& value : c.values) {
                    if (value == was) {
                        continue;
                    }
                    Settings trial = best;
                    Set(trial, c.key, value);
                    const std::vector<Measured> m = measure(trial);
                    const double trialCost = cost(m);
                    const std::string below = Regression(m, floor);
                    const bool better = below.empty() && (trialCost < bestCost || bestBelow);
                    std::printf("  %s=%s: %.2f%s%s\n", c.key.c_str(), value.c_str(), trialCost, better ? " (better)" : "",
                                below.empty() ? "" : (" (below the floor: " + below + ")").c_str());
                    std::fflush(stdout);
                    if (better) {
                        best = trial;
                        bestCost = trialCost;
                        bestBelow = false;
                        changed = true;
                    }
                }
                std::printf("%s = %s\n", c.key.c_str(), Get(best, c.key).c_str());
            }
            if (!changed) {
                break;
            }
        }
        Write(best, out);
        std::remove(scratch.c_str());
        std::printf("objective %.2f; wrote %s\n", bestCost, out.c_str());
        for (std::size_t i = 0; i < sets.size(); ++i) {
            for (DetectionMode m : {DetectionMode::Helper, DetectionMode::Continuous}) {
                if (!(m == DetectionMode::Helper ? helper : continuous)) {
                    continue;
                }
                const Figures figures = EvaluateDetector(*sets[i], out, EvaluationSet::Kinds(), threads, m, model);
                std::printf("%s, %s\n%-8s %4s  %s\n", ToString(m), i == 0 ? "tuning voices" : "unseen voices", "noise",
                            "SNR", ConditionFigures::HeaderFor(m).c_str());
                for (const std::string& kind : EvaluationSet::Kinds()) {
                    for (double snr : EvaluationSet::Snrs()) {
                        std::printf("%-8s %4.0f  %s\n", kind.c_str(), snr, figures.at({kind, snr}).RowFor(m).c_str());
                    }
                }
            }
            if (!helper) {
                continue;
            }
            const Figures commands = EvaluateCommands(*TuningCommandSets()[i], out, CommandSnrs(), threads, model);
            std::printf("commands, %s\n%-14s  %s\n", i == 0 ? "tuning voices" : "unseen voices", "noise",
                        ConditionFigures::HelperHeader().c_str());
            for (const auto& entry : commands) {
                std::printf("%-14s  %s\n", Name(entry.first).c_str(), entry.second.HelperRow().c_str());
            }
        }
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "VadConfigSearch: " << e.what() << "\n";
        return 1;
    }
}
