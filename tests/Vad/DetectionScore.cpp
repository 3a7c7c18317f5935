#include "Vad/DetectionScore.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>

#include "Helper/DataBuffer.h"
#include "Helper/VadDetectListener.h"
#include "Helper/VadFilter.h"
#include "Helper/VoiceFilterListener.h"
#include "Vad/Detector.h"

namespace Orvane {
namespace Test {
namespace {

using Orvane::Utility::Vad::Detector;
using Orvane::Utility::Vad::VadBuffer;

constexpr std::size_t kFrame = 160;
constexpr std::size_t kBlock = 320;       // samples per Detect call: 20 ms
constexpr std::size_t kFarFrames = 100;   // "far from speech": more than 1 s away
constexpr double kEndInTime = 1.0;        // s after the speech's end

double Seconds(std::size_t samples)
{
    return static_cast<double>(samples) / kSampleRate;
}

double Percentile(std::vector<double> values, double share)
{
    if (values.empty()) {
        return std::nan("");
    }
    std::sort(values.begin(), values.end());
    const double at = share * static_cast<double>(values.size() - 1);
    const std::size_t low = static_cast<std::size_t>(std::floor(at));
    const std::size_t high = std::min(low + 1, values.size() - 1);
    return values[low] + (at - static_cast<double>(low)) * (values[high] - values[low]);
}

// Dot products of a against b over [from, to).
double Dot(const Samples& a, const Samples& b, std::size_t from, std::size_t to)
{
    double sum = 0.0;
    for (std::size_t i = from; i < to; ++i) {
        sum += double(a[i]) * b[i];
    }
    return sum;
}

struct SiSdr {
    double db;
    double scale; // of the clean signal in the processed one
};

SiSdr ScaleInvariantSdr(const Samples& clean, const Samples& processed, std::size_t from, std::size_t to)
{
    const double cc = Dot(clean, clean, from, to);
    const double scale = cc > 0.0 ? Dot(clean, processed, from, to) / cc : 0.0;
    double error = 0.0;
    for (std::size_t i = from; i < to; ++i) {
        const double e = processed[i] - scale * clean[i];
        error += e * e;
    }
    return {10.0 * std::log10((scale * scale * cc + 1e-9) / (error + 1e-9)), scale};
}

// Where the delivered samples of each utterance lie: after the one before, and before the
// input fed when it ended.
void Place(const Samples& audio, std::vector<Utterance>& utterances)
{
    std::size_t from = 0;
    for (Utterance& u : utterances) {
        const std::size_t fed = u.ended ? u.endKnownAt : audio.size();
        const std::size_t last = fed > u.samples.size() ? fed - u.samples.size() : 0;
        u.begin = Align(audio, u.samples, std::min(from, last), last);
        u.end = u.begin + u.samples.size();
        from = u.end;
    }
}

// The detection filter's output and events, in the order they came.
class FilterRecorder : public Orvane::Helper::VoiceFilterListener, public Orvane::Helper::VadDetectListener {
public:
    explicit FilterRecorder(HelperRun& run) : run_(run) {}

    void OnFilterOutput(boost::shared_ptr<Orvane::Helper::DataBuffer> block) override
    {
        run_.outputAfterEnd = run_.outputAfterEnd || run_.ends > 0;
        const short* samples = reinterpret_cast<const short*>(block->GetData());
        run_.utterance.samples.insert(run_.utterance.samples.end(), samples, samples + block->GetSize() / 2);
    }
    void OnDetectVoiceStart() override { ++run_.starts; }
    void OnDetectVoiceEnd() override
    {
        run_.endBeforeStart = run_.endBeforeStart || run_.starts == 0;
        ++run_.ends;
        run_.utterance.ended = true;
        run_.utterance.endKnownAt = fed;
    }

    std::size_t fed = 0; // samples given to the filter, the block being filtered included

private:
    HelperRun& run_;
};

} // namespace

std::size_t FirstSpeechFrame(const std::vector<bool>& truth)
{
    return static_cast<std::size_t>(std::find(truth.begin(), truth.end(), true) - truth.begin());
}

std::size_t EndOfSpeechFrames(const std::vector<bool>& truth)
{
    return truth.size() - static_cast<std::size_t>(std::find(truth.rbegin(), truth.rend(), true) - truth.rbegin());
}

const char* ToString(DetectionMode mode)
{
    return mode == DetectionMode::Helper ? "helper" : "continuous";
}

HelperRun DetectAsHelper(const Samples& audio, const std::string& config, const std::string& model)
{
    HelperRun run;
    FilterRecorder recorder(run);
    // As the controller builds it: noise reduction on, mode 0, one utterance.
    Orvane::Helper::VadFilter filter(config, model, true, 0, false);
    filter.SetOutputListener(&recorder);
    filter.SetVadFilterListener(&recorder);
    filter.OnStart();
    for (std::size_t at = 0; at < audio.size() && run.ends == 0; at += kBlock) {
        const std::size_t n = std::min(kBlock, audio.size() - at);
        boost::shared_ptr<Orvane::Helper::DataBuffer> block(new Orvane::Helper::DataBuffer(static_cast<uint32_t>(2 * n)));
        std::memcpy(block->GetData(), audio.data() + at, 2 * n);
        recorder.fed = at + n;
        filter.OnInput(block);
    }
    filter.OnStop(false);
    std::vector<Utterance> placed = Utterances(run);
    Place(audio, placed);
    if (!placed.empty()) {
        run.utterance = placed.front();
    }
    return run;
}

std::vector<Utterance> Utterances(const HelperRun& run)
{
    if (run.starts == 0 && run.utterance.samples.empty()) {
        return {};
    }
    return {run.utterance};
}

std::vector<Utterance> DetectUtterances(const Samples& audio, const std::string& config, const std::string& model)
{
    boost::shared_ptr<Detector> detector = Detector::CreateDetector(0, true, true, model, config);
    std::vector<Utterance> utterances;
    bool open = false;
    for (std::size_t at = 0; at < audio.size(); at += kBlock) {
        const std::size_t n = std::min(kBlock, audio.size() - at);
        for (const boost::shared_ptr<VadBuffer>& chunk :
             detector->Detect(reinterpret_cast<const char*>(audio.data() + at), static_cast<unsigned>(n * 2))) {
            const std::size_t count = chunk->Size() / 2;
            const bool end = chunk->GetStatus() == Orvane::Utility::Vad::VAD_STATUS_END;
            if (count == 0 && !(end && open)) {
                continue;
            }
            if (!open) {
                utterances.emplace_back();
                open = true;
            }
            Utterance& u = utterances.back();
            const std::size_t old = u.samples.size();
            u.samples.resize(old + count);
            if (count != 0) {
                std::memcpy(u.samples.data() + old, chunk->Data(), count * 2);
            }
            if (end) {
                u.ended = true;
                u.endKnownAt = at + n;
                open = false;
            }
        }
    }
    Place(audio, utterances);
    return utterances;
}

FileScore ScoreFile(const std::vector<bool>& truth, const std::vector<Utterance>& utterances)
{
    FileScore score;
    std::vector<bool> inside(truth.size(), false);
    for (const Utterance& u : utterances) {
        bool speech = false;
        for (std::size_t f = u.begin / kFrame; f < truth.size() && f * kFrame < u.end; ++f) {
            inside[f] = true;
            speech = speech || truth[f];
        }
        score.falseStarts += speech ? 0 : 1;
    }
    // Distance of each frame to the nearest speech frame, both ways.
    std::vector<std::size_t> distance(truth.size(), truth.size());
    for (int pass = 0; pass < 2; ++pass) {
        std::size_t last = truth.size();
        for (std::size_t k = 0; k < truth.size(); ++k) {
            const std::size_t f = pass == 0 ? k : truth.size() - 1 - k;
            if (truth[f]) {
                last = f;
            }
            if (last != truth.size()) {
                distance[f] = std::min(distance[f], f > last ? f - last : last - f);
            }
        }
    }
    std::size_t speech = 0;
    std::size_t found = 0;
    for (std::size_t f = 0; f < truth.size(); ++f) {
        speech += truth[f];
        found += truth[f] && inside[f];
        if (distance[f] > kFarFrames) {
            ++score.farFrames;
            score.farFlagged += inside[f];
        }
    }
    if (speech == 0) {
        return score;
    }
    score.coverage = static_cast<double>(found) / static_cast<double>(speech);
    score.lostFrames = speech - found;
    const std::size_t first = FirstSpeechFrame(truth);
    const std::size_t last = EndOfSpeechFrames(truth);
    for (const Utterance& u : utterances) {
        score.usedUp = score.usedUp || (u.ended && u.end <= first * kFrame);
        score.cut = score.cut || (u.ended && u.end > first * kFrame && u.end < last * kFrame);
        score.open = score.open || !u.ended;
    }
    // The start of the first utterance reaching the speech; the end of the one holding its end.
    for (const Utterance& u : utterances) {
        if (u.end > first * kFrame && u.begin < last * kFrame) {
            score.startError = Seconds(u.begin) - Seconds(first * kFrame);
            break;
        }
    }
    for (const Utterance& u : utterances) {
        if (u.begin < last * kFrame && u.end >= (last - 1) * kFrame) {
            score.ended = u.ended;
            score.endError = Seconds(u.endKnownAt) - Seconds(last * kFrame);
            score.audioEndError = Seconds(u.end) - Seconds(last * kFrame);
        }
    }
    return score;
}

NoiseReductionScore ScoreNoiseReduction(const Samples& clean, const Samples& noisy, const Samples& processed,
                                        std::size_t from, std::size_t to)
{
    const SiSdr before = ScaleInvariantSdr(clean, noisy, from, to);
    const SiSdr after = ScaleInvariantSdr(clean, processed, from, to);
    return {after.db - before.db, 20.0 * std::log10(std::max(after.scale, 1e-6))};
}

bool ScoreDelivered(const Samples& clean, const Samples& noisy, const std::vector<bool>& truth,
                    const std::vector<Utterance>& utterances, NoiseReductionScore& score)
{
    const std::size_t first = FirstSpeechFrame(truth);
    const std::size_t last = EndOfSpeechFrames(truth);
    for (const Utterance& u : utterances) {
        const std::size_t from = std::max(u.begin, first * kFrame);
        const std::size_t to = std::min({u.end, last * kFrame, noisy.size()});
        if (to > from + kSampleRate / 2) {
            Samples processed(noisy);
            std::copy(u.samples.begin() + static_cast<std::ptrdiff_t>(from - u.begin),
                      u.samples.begin() + static_cast<std::ptrdiff_t>(to - u.begin),
                      processed.begin() + static_cast<std::ptrdiff_t>(from));
            score = ScoreNoiseReduction(clean, noisy, processed, from, to);
            return true;
        }
    }
    return false;
}

void ConditionFigures::Add(const FileScore& file)
{
    ++files_;
    coverage_ += file.coverage;
    delivered_ += file.coverage >= kDeliveredCoverage;
    shortened_ += file.lostFrames >= kShortenedFrames;
    emptySpans_ += file.falseStarts;
    open_ += file.open;
    if (file.coverage < kDeliveredCoverage) {
        if (file.usedUp) {
            ++usedUp_;
        } else if (file.cut) {
            ++cut_;
        } else if (file.coverage == 0.0) {
            ++missed_;
        } else {
            ++late_;
        }
    }
    if (file.coverage > 0.0) {
        starts_.push_back(file.startError);
        if (file.ended) {
            ends_.push_back(file.endError);
            audioEnds_.push_back(file.audioEndError);
            endedInTime_ += file.endError <= kEndInTime;
        } else {
            ++neverEnded_;
        }
    } else {
        ++neverEnded_;
    }
    farFrames_ += file.farFrames;
    farFlagged_ += file.farFlagged;
}

void ConditionFigures::AddNoiseAlone(const FileScore& file, double seconds)
{
    noiseStarts_ += file.falseStarts;
    noiseSeconds_ += seconds;
    ++noiseRuns_;
    noiseRunsStarted_ += file.falseStarts > 0;
    farFrames_ += file.farFrames;
    farFlagged_ += file.farFlagged;
}

void ConditionFigures::AddEvents(const HelperRun& run)
{
    eventFaults_ += run.starts > 1 || run.ends > 1 || run.outputAfterEnd || run.endBeforeStart;
}

void ConditionFigures::AddNoiseReduction(const NoiseReductionScore& score)
{
    gain_ += score.siSdrGain;
    level_ += score.levelDb;
    ++nrFiles_;
}

double ConditionFigures::FoundPercent() const
{
    return files_ ? 100.0 * coverage_ / static_cast<double>(files_) : 0.0;
}

double ConditionFigures::DeliveredPercent() const
{
    return files_ ? 100.0 * delivered_ / static_cast<double>(files_) : 0.0;
}

double ConditionFigures::FarFlaggedPercent() const
{
    return farFrames_ ? 100.0 * static_cast<double>(farFlagged_) / static_cast<double>(farFrames_) : 0.0;
}

double ConditionFigures::StartMedian() const { return Percentile(starts_, 0.5); }
double ConditionFigures::StartP90() const { return Percentile(starts_, 0.9); }
double ConditionFigures::EndMedian() const { return Percentile(ends_, 0.5); }
double ConditionFigures::EndP90() const { return Percentile(ends_, 0.9); }
double ConditionFigures::AudioEndMedian() const { return Percentile(audioEnds_, 0.5); }

double ConditionFigures::EndedInTimePercent() const
{
    return files_ ? 100.0 * endedInTime_ / static_cast<double>(files_) : 0.0;
}

double ConditionFigures::FalseStartsPerMinute() const
{
    return noiseSeconds_ > 0.0 ? 60.0 * noiseStarts_ / noiseSeconds_ : 0.0;
}

double ConditionFigures::NoiseReductionGain() const { return nrFiles_ ? gain_ / nrFiles_ : std::nan(""); }
double ConditionFigures::LevelChange() const { return nrFiles_ ? level_ / nrFiles_ : std::nan(""); }

std::string ConditionFigures::Header()
{
    return "found% far% start med/p90 s  end med/p90 s audio  in1s% noEnd  fs/min  SI-SDR+ level";
}

std::string ConditionFigures::Row() const
{
    char line[176];
    std::snprintf(line, sizeof line, "%6.1f %4.1f %6.2f %6.2f  %6.2f %6.2f %5.2f %6.0f %5d %6.1f %6.1f %6.1f",
                  FoundPercent(), FarFlaggedPercent(), StartMedian(), StartP90(), EndMedian(), EndP90(),
                  AudioEndMedian(), EndedInTimePercent(), NeverEnded(), FalseStartsPerMinute(), NoiseReductionGain(),
                  LevelChange());
    return line;
}

std::string ConditionFigures::HelperHeader()
{
    return "deliv% lost: usedUp cut late none short empty  start med/p90 s  end med/p90 s audio  in1s% noEnd  noise runs "
           "started";
}

std::string ConditionFigures::HelperRow() const
{
    char line[200];
    std::snprintf(line, sizeof line, "%6.1f %12d %3d %4d %4d %5d %5d  %6.2f %6.2f  %6.2f %6.2f %5.2f %6.0f %5d  %5d/%d",
                  DeliveredPercent(), UsedUp(), Cut(), Late(), Missed(), Shortened(), EmptySpans(), StartMedian(),
                  StartP90(), EndMedian(), EndP90(), AudioEndMedian(), EndedInTimePercent(), Open(), NoiseRunsStarted(),
                  NoiseRuns());
    return line;
}

std::string ConditionFigures::RowFor(DetectionMode mode) const
{
    return mode == DetectionMode::Helper ? HelperRow() : Row();
}

std::string ConditionFigures::HeaderFor(DetectionMode mode)
{
    return mode == DetectionMode::Helper ? HelperHeader() : Header();
}

std::size_t HelperCut(const std::vector<bool>& truth)
{
    const double lead = static_cast<double>(FirstSpeechFrame(truth) * kFrame) / kSampleRate;
    const double wanted = std::max(0.5, std::min(1.5, 0.5 + (lead - 1.0) / 1.5));
    return kFrame * static_cast<std::size_t>(std::max(0.0, lead - wanted) * kSampleRate / kFrame);
}

Figures EvaluateCommands(const EvaluationSet& set, const std::string& config, const std::vector<double>& snrs,
                         unsigned threads, const std::string& model)
{
    Figures figures = EvaluateDetector(set, config, EvaluationSet::Kinds(), threads, DetectionMode::Helper, model, 0.0,
                                       snrs);
    // Silence: any kind at an infinite SNR.
    const Figures clean = EvaluateDetector(set, config, {EvaluationSet::Kinds().front()}, threads,
                                           DetectionMode::Helper, model, 0.0, {kClean});
    figures[{"clean", kClean}] = clean.begin()->second;
    return figures;
}

DeliveredCount CountDelivered(const Figures& figures, const std::vector<std::string>& kinds, double low, double high)
{
    DeliveredCount count;
    for (const auto& entry : figures) {
        const double snr = entry.first.second;
        if (std::find(kinds.begin(), kinds.end(), entry.first.first) != kinds.end() && snr >= low && snr <= high) {
            count.files += entry.second.Files();
            count.delivered += entry.second.Delivered();
            count.usedUp += entry.second.UsedUp();
        }
    }
    return count;
}

double DeliveredPercent(const Figures& figures, const std::vector<std::string>& kinds, double low, double high)
{
    const DeliveredCount count = CountDelivered(figures, kinds, low, high);
    return count.files ? 100.0 * count.delivered / static_cast<double>(count.files) : 0.0;
}

Figures EvaluateDetector(const EvaluationSet& set, const std::string& config, const std::vector<std::string>& kinds,
                         unsigned threads, DetectionMode mode, const std::string& model, double noiseSeconds,
                         const std::vector<double>& snrs)
{
    // Jobs: every speech file of every condition, then noise alone (index SpeechCount()).
    struct Job {
        Condition condition;
        std::size_t speech;
    };
    std::vector<Job> jobs;
    for (const std::string& kind : kinds) {
        for (double snr : snrs) {
            for (std::size_t s = 0; s <= set.SpeechCount(); ++s) {
                if (s == set.SpeechCount() && !(noiseSeconds > 0.0)) {
                    break;
                }
                jobs.push_back({{kind, snr}, s});
            }
        }
    }
    Figures figures;
    std::mutex lock;
    std::atomic<std::size_t> next{0};
    std::exception_ptr failure;
    auto work = [&] {
        try {
            for (std::size_t j; (j = next++) < jobs.size();) {
                const Job& job = jobs[j];
                if (job.speech == set.SpeechCount()) {
                    const Samples noise = set.NoiseAlone(job.condition.first, job.condition.second, noiseSeconds);
                    const std::size_t run = mode == DetectionMode::Helper
                                                ? static_cast<std::size_t>(kHelperNoiseRun * kSampleRate)
                                                : noise.size();
                    for (std::size_t at = 0; at + run <= noise.size(); at += run) {
                        const Samples part(noise.begin() + static_cast<std::ptrdiff_t>(at),
                                           noise.begin() + static_cast<std::ptrdiff_t>(at + run));
                        HelperRun helper;
                        if (mode == DetectionMode::Helper) {
                            helper = DetectAsHelper(part, config, model);
                        }
                        const FileScore score = ScoreFile(std::vector<bool>(part.size() / kFrame, false),
                                                          mode == DetectionMode::Helper
                                                              ? Utterances(helper)
                                                              : DetectUtterances(part, config, model));
                        std::lock_guard<std::mutex> hold(lock);
                        figures[job.condition].AddNoiseAlone(score, static_cast<double>(run) / kSampleRate);
                        figures[job.condition].AddEvents(helper);
                    }
                    continue;
                }
                Samples clean = set.Clean(job.speech);
                Samples noisy = set.Noisy(job.speech, job.condition.first, job.condition.second);
                std::vector<bool> truth = SpeechFrames(clean);
                std::vector<Utterance> utterances;
                HelperRun helper;
                if (mode == DetectionMode::Helper) {
                    const std::size_t cut = HelperCut(truth);
                    clean.erase(clean.begin(), clean.begin() + static_cast<std::ptrdiff_t>(cut));
                    noisy.erase(noisy.begin(), noisy.begin() + static_cast<std::ptrdiff_t>(cut));
                    truth.erase(truth.begin(), truth.begin() + static_cast<std::ptrdiff_t>(cut / kFrame));
                    helper = DetectAsHelper(noisy, config, model);
                    utterances = Utterances(helper);
                } else {
                    utterances = DetectUtterances(noisy, config, model);
                }
                const FileScore score = ScoreFile(truth, utterances);
                NoiseReductionScore nr;
                const bool scored = ScoreDelivered(clean, noisy, truth, utterances, nr);
                std::lock_guard<std::mutex> hold(lock);
                figures[job.condition].Add(score);
                figures[job.condition].AddEvents(helper);
                if (scored) {
                    figures[job.condition].AddNoiseReduction(nr);
                }
            }
        } catch (...) {
            std::lock_guard<std::mutex> hold(lock);
            failure = std::current_exception();
            next = jobs.size();
        }
    };
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < std::max(threads, 1u); ++t) {
        pool.emplace_back(work);
    }
    work();
    for (std::thread& t : pool) {
        t.join();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
    return figures;
}

} // namespace Test
} // namespace Orvane
