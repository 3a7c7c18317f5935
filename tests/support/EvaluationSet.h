#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "support/AudioFixture.h"

// A detection test set made by scripts/make-vad-set.sh from one of the sentence lists of
// data/vad (once per build tree, under TESSIVAL_BINARY_DIR/vad-sets), with the mixing of
// its speech and noise at a given SNR. The SNR is between the active levels of the speech
// and of the noise (ActivePower), so transients and interrupted noise are measured where
// they sound.
namespace Orvane {
namespace Test {

class EvaluationSet {
public:
    // `list` names a file of data/vad (e.g. "evaluation-sentences.txt"); `sentences` caps
    // the number of sentences taken from its start; `voices` names a file of data/vad with
    // the voices to speak them in (empty: the script's own list, the tuning set's voices).
    EvaluationSet(const std::string& list, int seed, std::size_t sentences, const std::string& voices = "");
    // Speech of its own with the noise of `noise` (its mixtures at a given SNR hold the same
    // noise stretches as another set's of the same lengths would).
    EvaluationSet(const std::string& list, int seed, std::size_t sentences, const std::string& voices,
                  const EvaluationSet& noise);

    // The evaluation list as the tests and reports use it: 20 sentences in voices that
    // neither the model's training nor the tuning set uses.
    static const EvaluationSet& Evaluation();
    // Its first 12 sentences in the tuning set's voices, as the detector was first measured.
    static const EvaluationSet& EvaluationInTuningVoices();
    static const EvaluationSet& Tuning();
    // The tuning sentences in voices that neither the model's training nor the evaluation
    // set uses (data/vad/tuning-voices.txt), with noise of its own seed.
    static const EvaluationSet& TuningInUnseenVoices();
    // Short commands said alone (data/vad/evaluation-commands.txt, tuning-commands.txt), in
    // the tuning set's voices and in the unseen voices of the evaluation or tuning set, with
    // the noise of the evaluation or tuning set.
    static const EvaluationSet& Commands();
    static const EvaluationSet& CommandsInUnseenVoices();
    static const EvaluationSet& TuningCommands();
    static const EvaluationSet& TuningCommandsInUnseenVoices();
    // Tuning sentences that open with a short word and a pause (data/vad/tuning-openers.txt),
    // in voices of their own, with noise of their own seed.
    static const EvaluationSet& TuningOpeners();
    // A set held out from every choice (data/vad/heldout-*.txt): sentences, many opening with
    // a short word and a pause, and commands, in voices no other set uses, with noise of its
    // own seed; the commands also in the evaluation set's voices.
    static const EvaluationSet& HeldOut();
    static const EvaluationSet& HeldOutCommands();
    static const EvaluationSet& HeldOutCommandsInEvaluationVoices();

    // Noise kinds in report order, and the SNRs of the mixtures (dB). An SNR of infinity
    // mixes in no noise: the speech after silence.
    static const std::vector<std::string>& Kinds();
    static const std::vector<double>& Snrs();

    std::size_t SpeechCount() const { return speech_.size(); }
    const Samples& Clean(std::size_t speech) const { return speech_.at(speech); }
    const std::string& Voice(std::size_t speech) const { return voices_.at(speech); }
    // Sentence `speech` with noise `kind` at `snrDb`; the noise stretch depends on both.
    Samples Noisy(std::size_t speech, const std::string& kind, double snrDb) const;
    // `seconds` of noise alone at the level it has in the mixtures at `snrDb` with speech of
    // the set's mean active level.
    Samples NoiseAlone(const std::string& kind, double snrDb, double seconds) const;

private:
    void Load(const std::string& dir);
    const Samples& NoiseOf(const std::string& kind) const;
    double Gain(const std::string& kind, double speechPower, double snrDb) const;
    std::size_t KindIndex(const std::string& kind) const;

    std::vector<Samples> speech_;
    std::vector<std::string> voices_;
    std::map<std::string, Samples> noise_;
    std::map<std::string, double> noisePower_;
    double meanSpeechPower_ = 0.0;
};

} // namespace Test
} // namespace Orvane
