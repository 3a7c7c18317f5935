// The memory one large final result costs on its whole road through the flat interface:
// receive buffer, HTTP and XML parsing, result objects, the text and XML forms handed to
// the kind-5 callback, and what stays behind once the recognition has completed. The
// loopback server runs as a child process (its copies are not counted here) and sends,
// after AsyncComplete, an end point about the given size: one word, or words of kana
// labels of the given bytes.
//   peak_per_byte       peak heap growth (mallinfo2) from the connection (kind 1) to the
//                       completion (kind 6), over the message size
//   heap_after_per_byte heap growth still in use after the completion, over the size
//   rss_after_MB        resident memory gained since before the start, after completion
// Arguments: message MB, bytes a word (0: one word), Shift_JIS (1) or UTF-8 (0). Run one
// at a time for the resident figure, which earlier runs in the process would blur:
//   build/bench/ResultMemoryBench --benchmark_filter='WholeRoad/MB:60/word_bytes:30/sjis:0'
// Pipelined: the server sends `results` end points of the given size at once, without
// waiting for their acknowledgements, then the completion; the kind-5 callback takes
// `delay_ms` for each:
//   delivered           final results that reached the kind-5 callback
//   peak_rss_MB         the process's highest resident memory from the connection to the
//                       completion (VmHWM, started over at the connection)

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "common/LoopbackServerProcess.h"
#include "quor_helper.h"
#include "support/AudioFixture.h"
#include "support/HeapInUse.h"
#include "support/ParameterFile.h"
#include "support/ProcessCounts.h"
#include "support/TemporaryDirectory.h"

namespace {

using Orvane::Bench::LoopbackServerProcess;
using Orvane::Test::HeapInUse;
using Orvane::Test::HeapPeak;
using Orvane::Test::ResidentKilobytes;
using Orvane::Test::TemporaryDirectory;
using Orvane::Test::WriteParameterFile;

constexpr double kMiB = 1024.0 * 1024.0;

// One helper per text encoding, kept for the process (handles are never destroyed). The
// kind-5 callback reads both texts to their ends, as an application would, and copies
// nothing.
class Helper {
public:
    static Helper& Get(bool shiftJis)
    {
        static Helper* const utf8 = new Helper(false);
        static Helper* const sjis = new Helper(true);
        return shiftJis ? *sjis : *utf8;
    }

    void Initialize(const std::string& path) { Check(quor_helper_initialize(handle_, path.c_str(), &error_)); }

    void Start()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            connected_ = completed_ = false;
            textBytes_ = xmlBytes_ = 0;
            delivered_ = 0;
            failure_.clear();
        }
        Check(quor_helper_start(handle_, &error_));
    }
    void WaitConnected() { Wait([this] { return connected_ || completed_; }); }
    // How long the kind-5 callback takes, as a slow application would.
    static std::atomic<int>& CallbackDelay()
    {
        static std::atomic<int> milliseconds{0};
        return milliseconds;
    }

    std::size_t Delivered()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return delivered_;
    }
    // The failure text, empty after a normal end with a result.
    std::string WaitCompleted()
    {
        Wait([this] { return completed_; });
        std::lock_guard<std::mutex> lock(mutex_);
        if (failure_.empty() && (textBytes_ == 0 || xmlBytes_ == 0)) {
            return "no final result";
        }
        return failure_;
    }

private:
    explicit Helper(bool shiftJis)
    {
        handle_ = quor_helper_create2(&error_, shiftJis ? "Shift_JIS" : "UTF-8");
        if (handle_ == nullptr) {
            throw std::runtime_error(std::string("quor_helper_create2: ") + error_.message);
        }
        Check(quor_helper_regist_callback(handle_, QUOR_HELPER_CONNECTED, &Helper::OnConnected, this, &error_));
        Check(quor_helper_regist_callback(handle_, QUOR_HELPER_RECOGNIZE, &Helper::OnFinal, &final_, &error_));
        Check(quor_helper_regist_callback(handle_, QUOR_HELPER_COMPLETED, &Helper::OnCompleted, &completion_,
                                          &error_));
    }

    void Check(int result) const
    {
        if (result != 0) {
            throw std::runtime_error(std::to_string(error_.number) + " " + error_.message);
        }
    }

    template <typename Predicate>
    void Wait(Predicate done)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!changed_.wait_for(lock, std::chrono::seconds(300), done)) {
            throw std::runtime_error("the recognition did not end within 300 s");
        }
    }

    static void OnConnected(_quor_helper*, void* data)
    {
        Helper& self = *static_cast<Helper*>(data);
        std::lock_guard<std::mutex> lock(self.mutex_);
        self.connected_ = true;
        self.changed_.notify_all();
    }

    static void OnFinal(_quor_helper* handle, void* data)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(CallbackDelay().load()));
        const auto* result = static_cast<const quor_helper_result*>(data);
        const std::size_t text = std::strlen(result->text);
        const std::size_t xml = std::strlen(result->xml);
        for (Helper* helper : {&Get(false), &Get(true)}) {
            if (helper->handle_ == handle) {
                std::lock_guard<std::mutex> lock(helper->mutex_);
                helper->textBytes_ = text;
                helper->xmlBytes_ = xml;
                ++helper->delivered_;
            }
        }
    }

    static void OnCompleted(_quor_helper* handle, void* data)
    {
        for (Helper* helper : {&Get(false), &Get(true)}) {
            if (helper->handle_ != handle) {
                continue;
            }
            std::lock_guard<std::mutex> lock(helper->mutex_);
            if (data != nullptr) {
                const auto* error = static_cast<const quor_helper_error*>(data);
                helper->failure_ = std::to_string(error->number) + " " + error->message;
            }
            helper->completed_ = true;
            helper->changed_.notify_all();
        }
    }

    _quor_helper* handle_ = nullptr;
    quor_helper_error error_{};
    quor_helper_result final_{};
    quor_helper_error completion_{};
    std::mutex mutex_;
    std::condition_variable changed_;
    bool connected_ = false;
    bool completed_ = false;
    std::size_t textBytes_ = 0;
    std::size_t xmlBytes_ = 0;
    std::size_t delivered_ = 0;
    std::string failure_;
};

// Plain PCM without detection, from `target` to the server on `port`, with timers for a large result.
std::map<std::string, std::string> Options(int port, const std::string& target)
{
    return {
        {"server_address", "127.0.0.1"},
        {"server_port", std::to_string(port)},
        {"user_agent", "TessivalResultBench/1.0"},
        {"user_id", "bench"},
        {"codec", "PCM"},
        {"detection_mode", "false"},
        {"noise_reduction_mode", "false"},
        {"ostrel_model_file", Orvane::Test::ModelPath()},
        {"ostrel_config_file", Orvane::Test::ConfigPath()},
        {"recognition_target", target},
        {"recognition_timeout", "0"},
        {"sentence_timeout", "300000"},
        {"receive_timer", "120000"},
        {"response_timer", "120000"},
    };
}

// What one recognition cost, in bytes.
struct Figures {
    double peak = 0;
    double heapAfter = 0;
    double rssAfter = 0;
    double rssPeak = 0;
    std::size_t delivered = 0;
};

// One recognition with `results` results of `size` bytes; std::runtime_error when it fails.
Figures Recognize(benchmark::State& state, std::size_t size, std::size_t wordBytes, bool shiftJis,
                  std::size_t results = 1)
{
    state.PauseTiming();
    TemporaryDirectory directory("result-bench");
    // One second of silence: the end point comes once the file has been sent.
    const std::string target = directory.Write("silence.raw", std::string(2 * 16000, '\0'));
    // The server makes the whole result before it listens: a while for 60 MB.
    std::vector<std::string> arguments = {"--result-bytes", std::to_string(size), "--word-bytes",
                                          std::to_string(wordBytes)};
    if (results != 1) {
        arguments.insert(arguments.end(), {"--results", std::to_string(results)});
    }
    LoopbackServerProcess server(arguments, std::chrono::seconds(120));
    Helper& helper = Helper::Get(shiftJis);
    helper.Initialize(WriteParameterFile(directory.File("parameters.ini"), Options(server.Port(), target)));
    const double rssBefore = ResidentKilobytes() * 1024.0;
    state.ResumeTiming();

    helper.Start();
    helper.WaitConnected();
    Orvane::Test::ResetResidentPeak();
    const std::size_t base = HeapInUse();
    HeapPeak heap;
    const std::string failure = helper.WaitCompleted();
    heap.Stop();
    const double rssPeak = Orvane::Test::ResidentPeakKilobytes() * 1024.0;
    if (!failure.empty()) {
        throw std::runtime_error(failure);
    }
    Figures figures;
    figures.peak = static_cast<double>(heap.Growth());
    const std::size_t now = HeapInUse();
    figures.heapAfter = now > base ? static_cast<double>(now - base) : 0.0;
    figures.rssAfter = ResidentKilobytes() * 1024.0 - rssBefore;
    figures.rssPeak = rssPeak;
    figures.delivered = helper.Delivered();
    return figures;
}

void WholeRoad(benchmark::State& state)
{
    const std::size_t size = static_cast<std::size_t>(state.range(0)) * 1024 * 1024;
    Figures figures;
    for (auto _ : state) {
        // Reported, not thrown: an exception out of a run would leave the server behind.
        try {
            figures = Recognize(state, size, static_cast<std::size_t>(state.range(1)), state.range(2) != 0);
        } catch (const std::exception& e) {
            state.SkipWithError(e.what());
            break;
        }
    }
    const double bytes = static_cast<double>(size);
    state.counters["message_MB"] = bytes / kMiB;
    state.counters["peak_MB"] = figures.peak / kMiB;
    state.counters["peak_per_byte"] = figures.peak / bytes;
    state.counters["heap_after_per_byte"] = figures.heapAfter / bytes;
    state.counters["rss_after_MB"] = figures.rssAfter / kMiB;
}

// One word of the whole size, and words of 30 bytes (ten kana), in UTF-8 and Shift_JIS.
BENCHMARK(WholeRoad)
    ->ArgsProduct({{10, 60}, {0, 30}, {0, 1}})
    ->ArgNames({"MB", "word_bytes", "sjis"})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Results pipelined faster than the application takes them: the undelivered ones are
// bounded in bytes, so the peak stays a small multiple of one result.
void Pipelined(benchmark::State& state)
{
    const std::size_t size = static_cast<std::size_t>(state.range(1)) * 1000 * 1000;
    const std::size_t results = static_cast<std::size_t>(state.range(0));
    Helper::CallbackDelay() = static_cast<int>(state.range(2));
    Figures figures;
    for (auto _ : state) {
        try {
            figures = Recognize(state, size, 30, false, results);
        } catch (const std::exception& e) {
            state.SkipWithError(e.what());
            break;
        }
    }
    Helper::CallbackDelay() = 0;
    state.counters["delivered"] = static_cast<double>(figures.delivered);
    state.counters["peak_rss_MB"] = figures.rssPeak / kMiB;
    state.counters["peak_heap_MB"] = figures.peak / kMiB;
}

BENCHMARK(Pipelined)
    ->Args({40, 16, 300})
    ->ArgNames({"results", "MB", "delay_ms"})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

BENCHMARK_MAIN();
