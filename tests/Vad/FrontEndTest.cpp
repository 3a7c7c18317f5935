#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "Vad/EngineFixture.h"
#include "Vad/detect_vad.h"
#include "Vad/feature.h"
#include "Vad/real_fft.h"

namespace Orvane {
namespace Test {
namespace {

struct DataBufDeleter {
    void operator()(DataBuf* db) const { FreeDataBuf(db); }
};
using DataBufPtr = std::unique_ptr<DataBuf, DataBufDeleter>;

using Complex = std::complex<double>;

DataBufPtr MakeDataBuf(_tagVADInfo* handle)
{
    return DataBufPtr(InitDataBuf(handle->env));
}

std::vector<Complex> NaiveDft(const std::vector<Complex>& x, double sign)
{
    const std::size_t n = x.size();
    std::vector<Complex> out(n);
    for (std::size_t k = 0; k < n; ++k) {
        Complex sum = 0.0;
        for (std::size_t t = 0; t < n; ++t) {
            const double angle = sign * 2.0 * M_PI * double((t * k) % n) / n;
            sum += x[t] * Complex(std::cos(angle), std::sin(angle));
        }
        out[k] = sum;
    }
    return out;
}

std::vector<short> RandomFrame(std::size_t n, unsigned seed, int amplitude)
{
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> sample(-amplitude, amplitude);
    std::vector<short> frame(n);
    for (short& s : frame) {
        s = static_cast<short>(sample(random));
    }
    return frame;
}

// Straightforward log filter bank of one frame: exact DFT magnitudes, exact logarithms,
// triangular weights between mel centres; bins from the band edges clamped to Nyquist.
std::vector<double> ReferenceFBank(const std::vector<short>& s, double rate, unsigned nfft, unsigned nfb,
                                   double preEmp, double lowPass, double highPass)
{
    const std::size_t len = s.size();
    std::vector<Complex> x(nfft, 0.0);
    for (std::size_t i = 0; i < len; ++i) {
        const double emphasised = i == 0 ? (1.0 - preEmp) * s[0] : s[i] - preEmp * s[i - 1];
        x[i] = emphasised * (0.54 - 0.46 * std::cos(2.0 * M_PI * i / (len - 1)));
    }
    const std::vector<Complex> X = NaiveDft(x, 1.0);
    auto mel = [](double f) { return 1127.0 * std::log(1.0 + f / 700.0); };
    const double fres = rate / nfft;
    const long K = std::min<long>(long(highPass / rate * nfft), long(nfft / 2));
    const long kmin = long(lowPass / rate * nfft) + 1;
    std::vector<double> centre(nfb + 2);
    for (unsigned i = 0; i < nfb + 2; ++i) {
        centre[i] = double(i) / (nfb + 1) * mel(K * fres);
    }
    std::vector<double> out(nfb, 0.0);
    for (long k = kmin; k <= K - 1; ++k) {
        const double m = mel(k * fres);
        unsigned j = 1;
        while (j < nfb + 1 && m > centre[j]) {
            ++j;
        }
        const double w = (centre[j] - m) / (centre[j] - centre[j - 1]);
        const double a = std::abs(X[k]);
        if (j - 1 > 0) {
            out[j - 2] += w * a;
        }
        if (j - 1 < nfb) {
            out[j - 1] += a - w * a;
        }
    }
    for (double& v : out) {
        v = v < 1.0 ? 0.0 : std::log(v);
    }
    return out;
}

std::vector<double> EngineFBank(DataBuf* db, const std::vector<short>& s)
{
    AddNewFrame(db, 0);
    std::copy(s.begin(), s.end(), db->frames.tail->chan[0].wave);
    EXPECT_EQ(0, Wave2FBank(db));
    const double* fbank = db->frames.tail->chan[0].fbank;
    std::vector<double> out(fbank, fbank + db->NumFB);
    ClearFrameBuf(db);
    return out;
}

// The real-input transforms against the direct DFT: the forward one on zero-padded real
// frames, the inverse ones on spectra that are not Hermitian (their real part is wanted).
TEST(FrontEnd, RealTransformsMatchTheDirectDft)
{
    struct Case {
        const char* name;
        unsigned size;
        unsigned count;
        std::function<double(unsigned)> sample;
    };
    std::mt19937 random(11);
    std::uniform_real_distribution<double> noise(-20000.0, 20000.0);
    std::vector<double> noisy(512);
    for (double& v : noisy) {
        v = noise(random);
    }
    const Case cases[] = {
        {"impulse", 512, 320, [](unsigned i) { return i == 37 ? 1000.0 : 0.0; }},
        {"sine", 512, 320, [](unsigned i) { return 8000.0 * std::sin(2.0 * M_PI * 440.0 * i / 16000.0); }},
        {"noise", 512, 320, [&noisy](unsigned i) { return noisy[i]; }},
        {"full scale", 512, 320, [](unsigned i) { return i % 3 == 0 ? -32768.0 : 32767.0; }},
        {"noise, whole 256", 256, 256, [&noisy](unsigned i) { return noisy[i]; }},
        {"smallest", 4, 3, [](unsigned i) { return 1.0 + i; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FFTTables tables{};
        ASSERT_EQ(0, BuildFFTTables(&tables, c.size));
        const unsigned n = c.size;
        std::vector<double> x(c.count);
        std::vector<Complex> padded(n, 0.0);
        double scale = 0.0;
        for (unsigned i = 0; i < c.count; ++i) {
            x[i] = c.sample(i);
            padded[i] = x[i];
            scale += std::abs(x[i]);
        }
        std::vector<double> spectrum(2 * n);
        std::vector<double> work(n);
        RealForwardFFT(tables, x.data(), c.count, spectrum.data(), work.data());
        const std::vector<Complex> expected = NaiveDft(padded, 1.0);
        for (unsigned k = 0; k < n; ++k) {
            EXPECT_NEAR(expected[k].real(), spectrum[2 * k], 1e-13 * scale) << "bin " << k;
            EXPECT_NEAR(expected[k].imag(), spectrum[2 * k + 1], 1e-13 * scale) << "bin " << k;
        }

        // A spectrum with no symmetry, and real values with none: only the real part returns.
        std::vector<Complex> general(n);
        std::vector<double> interleaved(2 * n);
        std::vector<double> values(n);
        for (unsigned k = 0; k < n; ++k) {
            general[k] = Complex(c.sample(k % c.count), noisy[(7 * k) % noisy.size()]);
            interleaved[2 * k] = general[k].real();
            interleaved[2 * k + 1] = general[k].imag();
            values[k] = general[k].imag();
        }
        std::vector<double> out(n);
        RealInverseFFT(tables, interleaved.data(), out.data(), work.data());
        std::vector<Complex> inverse = NaiveDft(general, -1.0);
        for (unsigned t = 0; t < n; ++t) {
            EXPECT_NEAR(inverse[t].real() / n, out[t], 1e-13 * 32768.0) << "sample " << t;
        }
        RealValuedInverseFFT(tables, values.data(), out.data(), work.data());
        inverse = NaiveDft(std::vector<Complex>(values.begin(), values.end()), -1.0);
        for (unsigned t = 0; t < n; ++t) {
            EXPECT_NEAR(inverse[t].real() / n, out[t], 1e-13 * 32768.0) << "sample " << t;
        }

        // The forward spectrum comes back to the frame.
        RealInverseFFT(tables, spectrum.data(), out.data(), work.data());
        for (unsigned t = 0; t < n; ++t) {
            EXPECT_NEAR(t < c.count ? x[t] : 0.0, out[t], 1e-13 * scale) << "sample " << t;
        }
        FreeFFTTables(&tables);
    }
}

TEST(FrontEnd, FilterBankMatchesAStraightforwardComputation)
{
    struct Case {
        const char* name;
        double rate;
        int nfb;
        double preEmp;
        double lowPass;
        double highPass;
    };
    const Case cases[] = {
        {"defaults", 16000.0, 12, 0.97, 0.0, 8000.0},
        {"preset", 16000.0, 24, 0.0, 0.0, 8000.0},
        {"band", 16000.0, 20, 0.5, 1000.0, 4000.0},
        // The upper edge lies past Nyquist: the bins stop at the spectrum's half.
        {"edge past nyquist", 8000.0, 16, 0.0, 0.0, 8000.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VadHandle handle(BeginVAD());
        ASSERT_EQ(0, SetVariableVADReal(handle.get(), "FE:SampFreq", c.rate));
        ASSERT_EQ(0, SetVariableVADInt(handle.get(), "FE:NumFB", c.nfb));
        ASSERT_EQ(0, SetVariableVADReal(handle.get(), "FE:PreEmp", c.preEmp));
        ASSERT_EQ(0, SetVariableVADReal(handle.get(), "FE:LowPass", c.lowPass));
        ASSERT_EQ(0, SetVariableVADReal(handle.get(), "FE:HighPass", c.highPass));
        DataBufPtr db = MakeDataBuf(handle.get());
        ASSERT_TRUE(db);
        EXPECT_LE(db->fbank.kmax, db->NumFFT / 2 - 1);
        for (unsigned seed = 1; seed <= 3; ++seed) {
            const std::vector<short> frame = RandomFrame(320, seed, 3000 * seed);
            const std::vector<double> expected =
                ReferenceFBank(frame, c.rate, db->NumFFT, c.nfb, c.preEmp, c.lowPass, c.highPass);
            const std::vector<double> actual = EngineFBank(db.get(), frame);
            for (int d = 0; d < c.nfb; ++d) {
                EXPECT_NEAR(expected[d], actual[d], 2e-5 * std::max(1.0, expected[d])) << "band " << d;
            }
        }
    }
}

TEST(FrontEnd, TransformSizeAndSilence)
{
    {
        VadHandle handle(BeginVAD());
        DataBufPtr db = MakeDataBuf(handle.get());
        EXPECT_EQ(512u, db->NumFFT); // 320 samples never use the default 256
        EXPECT_EQ(1u, db->fbank.kmin);
        EXPECT_EQ(255u, db->fbank.kmax);
        const std::vector<double> silent = EngineFBank(db.get(), std::vector<short>(320, 0));
        for (double v : silent) {
            EXPECT_EQ(0.0, v);
        }
    }
    {
        VadHandle handle(BeginVAD());
        ASSERT_EQ(0, SetVariableVADInt(handle.get(), "FE:FramePts", 100));
        ASSERT_EQ(0, SetVariableVADInt(handle.get(), "FE:NumFFT", 128));
        DataBufPtr db = MakeDataBuf(handle.get());
        EXPECT_EQ(256u, db->NumFFT);
    }
    {
        VadHandle handle(BeginVAD());
        ASSERT_EQ(0, SetVariableVADReal(handle.get(), "FE:LowPass", 1000.0));
        DataBufPtr db = MakeDataBuf(handle.get());
        VadHandle plain(BeginVAD());
        DataBufPtr reference = MakeDataBuf(plain.get());
        EXPECT_EQ(33u, db->fbank.kmin);
        for (unsigned i = 0; i < db->NumFB + 2; ++i) {
            EXPECT_EQ(reference->fbank.centre[i], db->fbank.centre[i]);
        }
    }
}

TEST(FrontEnd, FirstSampleIsScaledAndSpectraInvert)
{
    VadHandle handle(BeginVAD());
    DataBufPtr db = MakeDataBuf(handle.get());
    std::vector<short> frame = RandomFrame(320, 9, 2000);
    frame[0] = 1000;
    AddNewFrame(db.get(), 0);
    std::copy(frame.begin(), frame.end(), db->frames.tail->chan[0].wave);
    ASSERT_EQ(0, Wave2PowSpc(db.get()));
    ChannelBuf& ch = db->frames.tail->chan[0];
    EXPECT_NEAR((1.0 - 0.97) * 1000.0 * db->window[0], ch.frame[0], 1e-12);
    std::vector<double> windowed(ch.frame, ch.frame + 320);
    ASSERT_EQ(0, CompSpc2Wave(db.get()));
    for (std::size_t i = 0; i < 320; ++i) {
        EXPECT_NEAR(windowed[i], ch.frame[i], 1e-9);
    }
    for (std::size_t i = 320; i < 512; ++i) {
        EXPECT_NEAR(0.0, ch.frame[i], 1e-9);
    }
    ASSERT_EQ(0, PowSpc2ACCoef(db.get()));
    double energy = 0.0;
    for (double v : windowed) {
        energy += v * v;
    }
    EXPECT_NEAR(energy, ch.autocorr[0], 1e-9 * energy);
    ClearFrameBuf(db.get());
}

TEST(FrontEnd, FramesAreReusedAfterClearing)
{
    VadHandle handle(BeginVAD());
    DataBufPtr db = MakeDataBuf(handle.get());
    ASSERT_EQ(0, AddNewFrame(db.get(), 0));
    ASSERT_EQ(0, AddNewFrame(db.get(), 1));
    FrameNode* second = db->frames.tail;
    second->chan[0].wave[5] = 9;
    DeleteFrame(db.get(), 7);
    DeleteFrame(db.get(), 0);
    EXPECT_EQ(second, db->frames.head);
    ClearFrameBuf(db.get());
    EXPECT_EQ(nullptr, db->frames.head);
    ASSERT_EQ(0, AddNewFrame(db.get(), 3));
    EXPECT_EQ(3u, db->frames.tail->index);
    EXPECT_EQ(0, db->frames.tail->chan[0].wave[5]);
    EXPECT_EQ(-102, AddNewFrame(nullptr, 0));
    EXPECT_EQ(-102, Wave2FBank(nullptr));
}

} // namespace
} // namespace Test
} // namespace Orvane
