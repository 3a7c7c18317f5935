// Chooses the detector configuration's "VAD:", "SBM:", "GMMW:" (and the noise tracker's
// drift, "PKF:DrvVar") values on the tuning set
// (data/vad/tuning-sentences.txt made by scripts/make-vad-set.sh with the tuning seed; the
// evaluation list is never read here), by coordinate search from a starting file.
//
//   VadConfigSearch [--start FILE] [--out FILE] [--model FILE] [--rounds N] [--threads N]
//                   [--only PREFIX]   (search only the keys that start with PREFIX)
//
// The objective, summed over every noise kind and SNR of the set (lower is better):
//   3.0 x missed speech (% of speech frames outside every utterance)
//   0.5 x late ends (% of files whose utterance does not end within 1 s of the speech)
//   5.0 x false starts per minute on noise alone
//   0.2 x frames flagged far (over 1 s) from speech (%)
//   1.0 x speech distortion: the noise-reduced speech's level loss (dB), less its SI-SDR
//         gain (dB)
// so one more missed percent of speech weighs as much as six late ends in a hundred, three
// fifths of a false start a minute or three decibels of SI-SDR: speech that never reaches
// the recogniser is the worst outcome.

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
    static const std::vector<Candidate> candidates{
        {"VAD:ProbS2N", {"0.05", "0.1", "0.2", "0.5", "0.9"}},
        {"VAD:ProbN2S", {"0.05", "0.1", "0.2", "0.4", "0.6", "0.8"}},
        {"VAD:Threshold", {"0.1", "0.2", "0.3", "0.5", "1.0", "2.0"}},
        {"SBM:MajorityVotes", {"10", "15", "20", "25", "30"}},
        {"SBM:MajorityVotes_Pause", {"3", "5", "10", "15"}},
        {"SBM:MaxGap", {"25", "35", "45", "60"}},
        {"SBM:TailMargin", {"20", "30", "40", "50"}},
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

double Objective(const Figures& figures)
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
        const EvaluationSet& set = EvaluationSet::Tuning();
        const std::string scratch = "/tmp/vad-config-search-" + std::to_string(getpid()) + ".ini";

        Settings best = ReadSettings(start);
        auto cost = [&](const Settings& settings) {
            Write(settings, scratch);
            return Objective(EvaluateDetector(set, scratch, EvaluationSet::Kinds(), threads, model));
        };
        double bestCost = cost(best);
        std::printf("start %s: objective %.2f\n", start.c_str(), bestCost);
        for (int round = 0; round < rounds; ++round) {
            bool changed = false;
            for (const Candidate& c : Candidates()) {
                if (c.key.compare(0, only.size(), only) != 0) {
                    continue;
                }
                const std::string was = Get(best, c.key);
                for (const std::string& value : c.values) {
                    if (value == was) {
                        continue;
                    }
                    Settings trial = best;
                    Set(trial, c.key, value);
                    const double trialCost = cost(trial);
                    std::printf("  %s=%s: %.2f%s\n", c.key.c_str(), value.c_str(), trialCost,
                                trialCost < bestCost ? " (better)" : "");
                    std::fflush(stdout);
                    if (trialCost < bestCost) {
                        best = trial;
                        bestCost = trialCost;
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
        const Figures figures = EvaluateDetector(set, out, EvaluationSet::Kinds(), threads, model);
        std::printf("%-8s %4s  %s\n", "noise", "SNR", ConditionFigures::Header().c_str());
        for (const auto& entry : figures) {
            std::printf("%-8s %4.0f  %s\n", entry.first.first.c_str(), entry.first.second, entry.second.Row().c_str());
        }
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "VadConfigSearch: " << e.what() << "\n";
        return 1;
    }
}
