// Benchmarks of the utility library: text-encoding conversion against iconv(3), the XML
// reader and writer on an N-best document, and a log call dropped at the threshold.
#include <sstream>
#include <string>

#include <benchmark/benchmark.h>

#include "Orvane/Utility/TextEncoding.h"
#include "Utility/Log/ApplicationLoggerManager.h"
#include "Utility/Xml/Parser.h"
#include "support/Iconv.h"
#include "support/NbestDocument.h"

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

// Ten sentences of eighteen words: about 30 KB written with tab indents.
const std::string& NbestDocument()
{
    static const std::string document = Orvane::Test::Written(*Orvane::Test::NbestElement(10, 18));
    return document;
}

void XmlParse(benchmark::State& state)
{
    const std::string& document = NbestDocument();
    for (auto _ : state) {
        Orvane::Utility::Xml::Parser parser(document.data(), static_cast<std::uint32_t>(document.size()), 0);
        benchmark::DoNotOptimize(parser.Parse());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * document.size()));
    state.counters["document_bytes"] = static_cast<double>(document.size());
}
BENCHMARK(XmlParse);

// Mode 1 as for a Shift_JIS session: every text converted while reading.
void XmlParseToSjis(benchmark::State& state)
{
    const std::string& document = NbestDocument();
    for (auto _ : state) {
        Orvane::Utility::Xml::Parser parser(document.data(), static_cast<std::uint32_t>(document.size()), 1);
        benchmark::DoNotOptimize(parser.Parse());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * document.size()));
}
BENCHMARK(XmlParseToSjis);

void XmlWrite(benchmark::State& state)
{
    const std::string& document = NbestDocument();
    const auto tree = Orvane::Utility::Xml::Parser(document.data(), static_cast<std::uint32_t>(document.size()), 0).Parse();
    for (auto _ : state) {
        std::ostringstream out;
        tree->Write(out, "\t", 0, 0);
        benchmark::DoNotOptimize(out.str());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * document.size()));
}
BENCHMARK(XmlWrite);

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
