// Trains the detection engine's speech model set (model 0 non-speech, model 1 speech) from
// raw 16 kHz mono 16-bit PCM files, with the engine's own front end and model writer.
//
//   VadModelTrainer --out FILE --speech-mixtures N --noise-mixtures M
//                   --speech LIST --noise LIST [--seed S]
//
// LIST is a text file naming one raw file per line. Speech frames are those whose clean
// energy lies within 30 dB of the file's loudest frame; every frame of the noise files is
// non-speech. Each model is fitted by EM on diagonal Gaussians with a variance floor,
// starting from a seeded k-means++ choice, so the same input gives the same file.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "Orvane/Vad/VadEngine.h"
#include "Vad/detect_vad.h"
#include "Vad/feature.h"
#include "Vad/gmm_io.h"

namespace {

using Vector = std::vector<double>;

constexpr double kVarianceFloor = 0.02;
constexpr double kSpeechRangeDb = 30.0;
constexpr double kMinSpeechDb = 20.0; // frame RMS of 10
constexpr int kKMeansIterations = 10;
constexpr int kEmIterations = 40;

// splitmix64: a small generator whose sequence does not depend on the standard library.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next()
    {
        std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    double Uniform() { return (Next() >> 11) * (1.0 / 9007199254740992.0); }

private:
    std::uint64_t state_;
};

struct Gmm {
    Vector weight;
    std::vector<Vector> mean;
    std::vector<Vector> var;
};

std::vector<short> ReadRaw(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot open " + path);
    }
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<short> samples(bytes.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<short>(static_cast<unsigned char>(bytes[2 * i]) |
                                        (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    }
    return samples;
}

std::vector<std::string> ReadList(const std::string& path)
{
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty()) {
            lines.push_back(line);
        }
    }
    return lines;
}

// The engine's front end with the detector's preset settings.
class FrontEnd {
public:
    FrontEnd() : handle_(BeginVAD())
    {
        SetVariableVADReal(handle_, "FE:PreEmp", 0.0);
        SetVariableVADInt(handle_, "FE:NumFFT", 512);
        SetVariableVADInt(handle_, "FE:NumFB", 24);
        db_ = InitDataBuf(handle_->env);
        if (db_ == nullptr) {
            throw std::runtime_error(GetVADLastErrorMessage());
        }
    }
    ~FrontEnd()
    {
        FreeDataBuf(db_);
        EndVAD(handle_);
    }
    unsigned int Dim() const { return db_->NumFB; }

    // Log filter bank and energy (dB of the frame's mean square) of every frame.
    void Frames(const std::vector<short>& samples, std::vector<Vector>& features, Vector& energyDb)
    {
        const std::size_t length = db_->FramePts;
        const std::size_t shift = db_->ShiftPts;
        for (std::size_t start = 0; start + length <= samples.size(); start += shift) {
            AddNewFrame(db_, 0);
            short* wave = db_->frames.tail->chan[0].wave;
            double energy = 0.0;
            for (std::size_t i = 0; i < length; ++i) {
                wave[i] = samples[start + i];
                energy += double(wave[i]) * wave[i];
            }
            Wave2FBank(db_);
            const double* fbank = db_->frames.tail->chan[0].fbank;
            features.emplace_back(fbank, fbank + db_->NumFB);
            energyDb.push_back(10.0 * std::log10(energy / length + 1e-9));
            ClearFrameBuf(db_);
        }
    }

private:
    _tagVADInfo* handle_;
    DataBuf* db_ = nullptr;
};

double Distance(const Vector& a, const Vector& b)
{
    double sum = 0.0;
    for (std::size_t d = 0; d < a.size(); ++d) {
        sum += (a[d] - b[d]) * (a[d] - b[d]);
    }
    return sum;
}

Gmm KMeansStart(const std::vector<Vector>& data, unsigned int k, Random& random)
{
    const std::size_t dim = data[0].size();
    std::vector<Vector> centres{data[random.Next() % data.size()]};
    Vector nearest(data.size(), std::numeric_limits<double>::max());
    while (centres.size() < k) {
        double total = 0.0;
        for (std::size_t i = 0; i < data.size(); ++i) {
            nearest[i] = std::min(nearest[i], Distance(data[i], centres.back()));
            total += nearest[i];
        }
        double pick = random.Uniform() * total;
        std::size_t chosen = data.size() - 1;
        for (std::size_t i = 0; i < data.size(); ++i) {
            pick -= nearest[i];
            if (pick <= 0.0) {
                chosen = i;
                break;
            }
        }
        centres.push_back(data[chosen]);
    }
    std::vector<unsigned int> label(data.size());
    for (int iteration = 0; iteration < kKMeansIterations; ++iteration) {
        for (std::size_t i = 0; i < data.size(); ++i) {
            double best = std::numeric_limits<double>::max();
            for (unsigned int c = 0; c < k; ++c) {
                const double dist = Distance(data[i], centres[c]);
                if (dist < best) {
                    best = dist;
                    label[i] = c;
                }
            }
        }
        std::vector<Vector> sums(k, Vector(dim, 0.0));
        std::vector<std::size_t> counts(k, 0);
        for (std::size_t i = 0; i < data.size(); ++i) {
            for (std::size_t d = 0; d < dim; ++d) {
                sums[label[i]][d] += data[i][d];
            }
            ++counts[label[i]];
        }
        for (unsigned int c = 0; c < k; ++c) {
            if (counts[c] != 0) {
                for (std::size_t d = 0; d < dim; ++d) {
                    centres[c][d] = sums[c][d] / counts[c];
                }
            }
        }
    }
    Gmm gmm;
    gmm.weight.assign(k, 1.0 / k);
    gmm.mean = centres;
    gmm.var.assign(k, Vector(dim, 1.0));
    return gmm;
}

double LogDensity(const Gmm& gmm, unsigned int m, const Vector& x)
{
    double sum = 0.0;
    for (std::size_t d = 0; d < x.size(); ++d) {
        const double diff = x[d] - gmm.mean[m][d];
        sum += diff * diff / gmm.var[m][d] + std::log(2.0 * M_PI * gmm.var[m][d]);
    }
    return std::log(gmm.weight[m]) - 0.5 * sum;
}

Gmm Train(const std::vector<Vector>& data, unsigned int k, Random& random)
{
    Gmm gmm = KMeansStart(data, k, random);
    const std::size_t dim = data[0].size();
    Vector post(k);
    for (int iteration = 0; iteration < kEmIterations; ++iteration) {
        Vector mass(k, 0.0);
        std::vector<Vector> first(k, Vector(dim, 0.0));
        std::vector<Vector> second(k, Vector(dim, 0.0));
        double logLikelihood = 0.0;
        for (const Vector& x : data) {
            double top = -std::numeric_limits<double>::infinity();
            for (unsigned int m = 0; m < k; ++m) {
                post[m] = LogDensity(gmm, m, x);
                top = std::max(top, post[m]);
            }
            double sum = 0.0;
            for (unsigned int m = 0; m < k; ++m) {
                post[m] = std::exp(post[m] - top);
                sum += post[m];
            }
            logLikelihood += top + std::log(sum);
            for (unsigned int m = 0; m < k; ++m) {
                const double r = post[m] / sum;
                mass[m] += r;
                for (std::size_t d = 0; d < dim; ++d) {
                    first[m][d] += r * x[d];
                    second[m][d] += r * x[d] * x[d];
                }
            }
        }
        for (unsigned int m = 0; m < k; ++m) {
            if (mass[m] < 1e-3) {
                continue; // an empty mixture keeps its values
            }
            gmm.weight[m] = mass[m] / data.size();
            for (std::size_t d = 0; d < dim; ++d) {
                const double mean = first[m][d] / mass[m];
                gmm.mean[m][d] = mean;
                gmm.var[m][d] = std::max(second[m][d] / mass[m] - mean * mean, kVarianceFloor);
            }
        }
        double total = 0.0;
        for (double w : gmm.weight) {
            total += w;
        }
        for (double& w : gmm.weight) {
            w /= total;
        }
        if (iteration + 1 == kEmIterations) {
            std::cerr << "  " << data.size() << " frames, " << k << " mixtures, mean log-likelihood "
                      << logLikelihood / data.size() << "\n";
        }
    }
    return gmm;
}

void Store(const Gmm& gmm, GMMBuf& out)
{
    out.NumMix = static_cast<unsigned int>(gmm.weight.size());
    out.Dim = static_cast<unsigned int>(gmm.mean[0].size());
    out.Mix = static_cast<MixBuf*>(std::calloc(out.NumMix, sizeof(MixBuf)));
    for (unsigned int m = 0; m < out.NumMix; ++m) {
        MixBuf& mix = out.Mix[m];
        mix.MixWt = gmm.weight[m];
        mix.Mean = static_cast<double*>(std::calloc(out.Dim, sizeof(double)));
        mix.Var = static_cast<double*>(std::calloc(out.Dim, sizeof(double)));
        std::copy(gmm.mean[m].begin(), gmm.mean[m].end(), mix.Mean);
        std::copy(gmm.var[m].begin(), gmm.var[m].end(), mix.Var);
        mix.GConst = CompGConst(mix.Var, out.Dim);
    }
}

std::string Option(int argc, char** argv, const std::string& name, const std::string& fallback)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (argv[i] == name) {
            return argv[i + 1];
        }
    }
    if (fallback.empty()) {
        throw std::runtime_error("missing " + name);
    }
    return fallback;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        const std::string out = Option(argc, argv, "--out", "");
        const unsigned int speechMixtures = std::stoul(Option(argc, argv, "--speech-mixtures", "16"));
        const unsigned int noiseMixtures = std::stoul(Option(argc, argv, "--noise-mixtures", "5"));
        const std::uint64_t seed = std::stoull(Option(argc, argv, "--seed", "20140319"));
        Random random(seed);
        FrontEnd frontEnd;

        std::vector<Vector> speech;
        std::vector<Vector> nonSpeech;
        for (const std::string& path : ReadList(Option(argc, argv, "--speech", ""))) {
            std::vector<Vector> features;
            Vector energy;
            frontEnd.Frames(ReadRaw(path), features, energy);
            const double loudest = *std::max_element(energy.begin(), energy.end());
            for (std::size_t t = 0; t < features.size(); ++t) {
                if (energy[t] > loudest - kSpeechRangeDb && energy[t] > kMinSpeechDb) {
                    speech.push_back(features[t]);
                }
            }
        }
        for (const std::string& path : ReadList(Option(argc, argv, "--noise", ""))) {
            Vector energy;
            frontEnd.Frames(ReadRaw(path), nonSpeech, energy);
        }
        if (speech.size() < speechMixtures || nonSpeech.size() < noiseMixtures) {
            throw std::runtime_error("too few frames");
        }
        std::cerr << "non-speech model:\n";
        const Gmm model0 = Train(nonSpeech, noiseMixtures, random);
        std::cerr << "speech model:\n";
        const Gmm model1 = Train(speech, speechMixtures, random);

        GMMBuf gmms[2] = {};
        Store(model0, gmms[0]);
        Store(model1, gmms[1]);
        ModelBuf set{2, gmms};
        const int written = WriteGMM(out.c_str(), &set);
        for (GMMBuf& gmm : gmms) {
            for (unsigned int m = 0; m < gmm.NumMix; ++m) {
                std::free(gmm.Mix[m].Mean);
                std::free(gmm.Mix[m].Var);
            }
            std::free(gmm.Mix);
        }
        if (!written) {
            throw std::runtime_error(GetVADLastErrorMessage());
        }
        std::cerr << "wrote " << out << "\n";
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "VadModelTrainer: " << e.what() << "\n";
        return 1;
    }
}
