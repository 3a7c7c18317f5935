// Benchmarks of the utility library: text-encoding conversion against iconv(3), the XML
// reader and writer on an N-best document, and a log call dropped at the threshold.
#include <string>

#include <benchmark/benchmark.h>

#include "Orvane/Utility/TextEncoding.h"
#include "Utility/Log/ApplicationLoggerManager.h"
#include "support/Iconv.h"

namespace {

// 64 KiB of Japanese prose in UTF-8: kanji, kana, full-width punctuation and some ASCII.
const std::string& JapaneseUtf8()
{
    static const std::string text = [] {
        const std::string paragraph =
            "音声認識サーバに接続し、マイクから録音した音声を送信します。発話の始端と終端を検出すると、"
            "認識結果が候補の一覧として通知されます。各単語には表記、読み、開始位置、終了位置とスコアが"
            "付きます。Version 2.1 の設定ファイル（parameter.ini）で server_address と sentence_timeout を"
            "指定してください。ｶﾀｶﾅも使えます。\n";
        std::string all;
        while (all.size() + paragraph.size() <= 64 * 1024) {
            all += paragraph;
        }
        return all;
    }();
    return text;
}

const std::string& JapaneseSjis()
{
    static const std::string text = Orvane::Utility::Utf8ToSjis(JapaneseUtf8().c_str());
    return text;
}

void Utf8ToSjis(benchmark::State& state)
{
    const std::string& in = JapaneseUtf8();
    std::string out;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Orvane::Utility::Utf8ToSjis(in.c_str(), out));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}
BENCHMARK(Utf8ToSjis);

void IconvUtf8ToSjis(benchmark::State& state)
{
    const std::string& in = JapaneseUtf8();
    Orvane::Test::Iconv iconv("CP932", "UTF-8");
    std::string out;
    for (auto _ : state) {
        benchmark::DoNotOptimize(iconv.Convert(in, out));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}
BENCHMARK(IconvUtf8ToSjis);

void SjisToUtf8(benchmark::State& state)
{
    const std::string& in = JapaneseSjis();
    std::string out;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Orvane::Utility::SjisToUtf8(in.c_str(), out));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}
BENCHMARK(SjisToUtf8);

void IconvSjisToUtf8(benchmark::State& state)
{
    const std::string& in = JapaneseSjis();
    Orvane::Test::Iconv iconv("UTF-8", "CP932");
    std::string out;
    for (auto _ : state) {
        benchmark::DoNotOptimize(iconv.Convert(in, out));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}
BENCHMARK(IconvSjisToUtf8);

// Level 1 is below the threshold: the call must cost no formatting.
void LogBelowThreshold(benchmark::State& state)
{
    int value = 0;
    for (auto _ : state) {
        ORVANE_LOG_TRACE("認識結果を受信しました。count=%1%", ++value);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(LogBelowThreshold);

} // namespace

BENCHMARK_MAIN();
