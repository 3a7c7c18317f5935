// loopback-recognition-server [--port N] [--word LABEL]... [--result-bytes N [--word-bytes M]]
//                             [--results K] [--quiet]
// Serves the recognition protocol on 127.0.0.1 with the default replies; after each
// "Recognizer::AsyncComplete" it sends an end point with a one-sentence result made of the
// given words, then "Completed". With --result-bytes the words are made up instead: labels
// of Japanese kana of M bytes each (one long word without --word-bytes), as many as make
// the end point's document about N bytes long. With --results K it sends K such end points
// and "Completed" at once with its answer, without waiting for their acknowledgements. Prints "listening 127.0.0.1:PORT", then for each message
// received a line, its problems, the parameter a SetParameter call sets and what the server
// answered; at AsyncComplete or Abort a summary of the audio posted since the last one;
// until SIGINT or SIGTERM. With --quiet (for long runs) only the first line is printed.
#include "support/loopback/HttpReader.h"
#include "support/loopback/LoopbackServer.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <pthread.h>
#include <string>
#include <strings.h>
#include <thread>
#include <vector>

using namespace Orvane::Test::Loopback;

namespace {

const char* const kNotifyingMethod = "Recognizer::AsyncComplete";
// The notifications sent after each AsyncComplete, in order.
const char* const kNotificationNames[] = {"EndPoint", "Completed"};
constexpr std::uint64_t kPcmBytesPerSecond = 16000 * 2;
constexpr double kOpusPacketSeconds = 0.020;

int Usage()
{
    std::fprintf(stderr, "usage: loopback-recognition-server [--port N] [--word LABEL]... "
                         "[--result-bytes N [--word-bytes M]] [--results K] [--quiet]\n");
    return 2;
}

// Kana (three bytes each in UTF-8) from the `first`-th on, `count` of them.
std::string Kana(std::uint64_t first, std::uint64_t count)
{
    static const char* const kKana[] = {"あ", "い", "う", "え", "お", "か", "き", "く", "け", "こ"};
    std::string label;
    label.reserve(count * 3);
    for (std::uint64_t i = 0; i < count; ++i) {
        label += kKana[(first + i) % 10];
    }
    return label;
}

ResultWord MadeUpWord(std::size_t index, std::uint64_t characters)
{
    const double start = static_cast<double>(index) * 100.0;
    return ResultWord{Kana(index, characters), "a", start, start + 100.0, 0.9};
}

std::uint64_t DocumentSize(const ResultSentence& sentence)
{
    return Notice::EndPoint("", 1.0, {sentence}).parts.front().size();
}

// Words of kana labels, `each` bytes a word (0: one word), so many that the end point's
// document holds about `total` bytes.
std::vector<ResultWord> MadeUpWords(std::uint64_t total, std::uint64_t each)
{
    ResultSentence sentence{0.9, {MadeUpWord(0, 0)}};
    const std::uint64_t frame = DocumentSize(sentence);
    if (each == 0) {
        const std::uint64_t characters = total > frame ? (total - frame) / 3 : 1;
        return {MadeUpWord(0, characters)};
    }
    const std::uint64_t characters = std::max<std::uint64_t>(1, each / 3);
    sentence.words = {MadeUpWord(0, characters)};
    const std::uint64_t one = DocumentSize(sentence);
    sentence.words.push_back(MadeUpWord(1, characters));
    const std::uint64_t perWord = DocumentSize(sentence) - one;
    const std::uint64_t count = total > one ? 1 + (total - one) / perWord : 1;
    std::vector<ResultWord> words;
    words.reserve(count);
    for (std::uint64_t i = 0; i < count; ++i) {
        words.push_back(MadeUpWord(i, characters));
    }
    return words;
}

bool ReadCount(const char* text, std::uint64_t& value)
{
    char* end = nullptr;
    errno = 0;
    const unsigned long long read = std::strtoull(text, &end, 10);
    value = read;
    return *end == '\0' && errno == 0 && text[0] != '-';
}

std::uint64_t BigEndian32(const std::string& bytes, std::uint64_t at)
{
    std::uint64_t value = 0;
    for (std::uint64_t i = 0; i < 4; ++i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

// Opus records (packet size, final range, packet) that fill `bytes` from its start;
// `leftover` gets the bytes after the last whole record.
std::uint64_t CountOpusRecords(const std::string& bytes, std::uint64_t& leftover)
{
    std::uint64_t records = 0;
    std::uint64_t at = 0;
    const std::uint64_t size = bytes.size();
    while (size - at >= 8) {
        const std::uint64_t next = at + 8 + BigEndian32(bytes, at);
        if (next > size) {
            break;
        }
        at = next;
        ++records;
    }
    leftover = size - at;
    return records;
}

bool EqualsIgnoringCase(const std::string& a, const char* b)
{
    return a.size() == std::strlen(b) && strncasecmp(a.c_str(), b, a.size()) == 0;
}

// Audio posted since the last summary, with the speech format the client named since then.
struct AudioSinceSummary {
    std::size_t posts = 0;
    std::map<std::size_t, std::string> bytesByConnection; // records never span connections
    std::string format;
};

std::string Summary(const AudioSinceSummary& audio)
{
    std::uint64_t bytes = 0;
    std::uint64_t records = 0;
    std::uint64_t leftover = 0;
    for (const auto& connection : audio.bytesByConnection) {
        bytes += connection.second.size();
        std::uint64_t rest = 0;
        records += CountOpusRecords(connection.second, rest);
        leftover += rest;
    }
    // Without a named format the bytes are read as Opus records when they are made of them.
    const bool named = !audio.format.empty();
    const bool opus = named ? EqualsIgnoringCase(audio.format, "Opus") : records > 0 && leftover == 0;
    char line[256];
    if (opus) {
        std::snprintf(line, sizeof line, "%llu Opus records = %.2f s of speech%s",
                      static_cast<unsigned long long>(records), static_cast<double>(records) * kOpusPacketSeconds,
                      named ? "" : " (no format named)");
    } else {
        std::snprintf(line, sizeof line, "%s = %.2f s of speech", named ? audio.format.c_str() : "no format named, PCM",
                      static_cast<double>(bytes) / static_cast<double>(kPcmBytesPerSecond));
    }
    std::string text = "audio: " + std::to_string(audio.posts) + " posts, " + std::to_string(bytes) + " bytes, " + line;
    if (opus && leftover != 0) {
        text += "\n  problem: " + std::to_string(leftover) + " bytes after the last whole Opus record";
    }
    return text;
}

// The Response of a written reply: "Success 1", or "Success 0: Type Errno Errmsg", or the
// status line of a reply without one.
std::string Answer(const std::string& reply)
{
    HttpReader reader;
    reader.Append(reply.data(), reply.size());
    std::optional<HttpMessage> http;
    try {
        http = reader.Next();
    } catch (const HttpReadError&) {
    }
    if (!http) {
        return std::to_string(reply.size()) + " bytes that are no HTTP reply";
    }
    if (!http->isResponse || http->status != 200 || http->parts.empty()) {
        return http->startLine;
    }
    try {
        const XmlElement response = XmlElement::Parse(http->parts[0].data);
        std::string text = "Success " + response.ChildText("Success");
        const XmlElement* value = response.Child("Value");
        const XmlElement* exception = value ? value->Child("Exception") : nullptr;
        if (exception != nullptr) {
            text += ": " + exception->ChildText("Type") + " " + exception->ChildText("Errno") + " " +
                    exception->ChildText("Errmsg");
        }
        return text;
    } catch (const XmlError&) {
        return "a reply whose XML does not parse";
    }
}

std::string Describe(const Received& message, const std::string& words)
{
    std::string line = std::string(ToString(message.kind)) + " on connection " + std::to_string(message.connection);
    if (message.kind == MessageKind::Call) {
        line += ": " + message.call.method;
        const std::vector<std::string> strings = message.call.Arguments("String");
        const std::string suffix = "::SetParameter";
        const std::string& method = message.call.method;
        if (method.size() >= suffix.size() && method.compare(method.size() - suffix.size(), suffix.size(), suffix) == 0 &&
            strings.size() == 2) {
            line += " " + strings[0] + " = " + strings[1];
        }
    } else if (message.kind == MessageKind::Audio) {
        line += ": " + std::to_string(message.http.body.size()) + " bytes";
    } else if (message.kind == MessageKind::Acknowledgement) {
        const std::size_t names = sizeof kNotificationNames / sizeof kNotificationNames[0];
        line += ": Success " + message.success + " to notification " + std::to_string(message.notification + 1) +
                " (" + kNotificationNames[message.notification % names] + ")";
    }
    for (const std::string& problem : message.problems) {
        line += "\n  problem: " + problem;
    }
    if (!message.reply.empty()) {
        line += "\n  answered " + Answer(message.reply);
    } else if (message.kind == MessageKind::Call) {
        line += "\n  no answer";
    }
    if (message.kind == MessageKind::Call && message.call.method == kNotifyingMethod) {
        line += "\n  then notifies EndPoint \"" + words + "\", then Completed";
    }
    return line;
}

// Prints the messages from `printed` on, keeping the audio tally between summaries.
void Print(const Recording& seen, std::size_t& printed, AudioSinceSummary& audio, const std::string& words)
{
    for (; printed < seen.messages.size(); ++printed) {
        const Received& message = seen.messages[printed];
        std::printf("%s\n", Describe(message, words).c_str());
        if (message.kind == MessageKind::Audio) {
            ++audio.posts;
            audio.bytesByConnection[message.connection] += message.http.body;
        } else if (message.kind == MessageKind::Call) {
            const std::vector<std::string> strings = message.call.Arguments("String");
            if (message.call.method == "Recognizer::SetParameter" && strings.size() == 2 &&
                strings[0] == "RODI:SpeechFormat") {
                audio.format = strings[1];
            }
            if (message.call.method == "Recognizer::AsyncComplete" || message.call.method == "Recognizer::Abort") {
                std::printf("%s\n", Summary(audio).c_str());
                audio = AudioSinceSummary();
            }
        }
    }
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    long port = 0;
    bool quiet = false;
    ResultSentence sentence{0.9, {}};
    std::uint64_t resultBytes = 0;
    std::uint64_t wordBytes = 0;
    std::uint64_t results = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--port") == 0 && i + 1 < argc) {
            char* end = nullptr;
            port = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || port < 0 || port > 65535) {
                return Usage();
            }
        } else if (std::strcmp(argv[i], "--word") == 0 && i + 1 < argc) {
            const double start = static_cast<double>(sentence.words.size()) * 100.0;
            sentence.words.push_back(ResultWord{argv[++i], "", start, start + 100.0, 0.9});
        } else if (std::strcmp(argv[i], "--result-bytes") == 0 && i + 1 < argc) {
            if (!ReadCount(argv[++i], resultBytes)) {
                return Usage();
            }
        } else if (std::strcmp(argv[i], "--word-bytes") == 0 && i + 1 < argc) {
            if (!ReadCount(argv[++i], wordBytes)) {
                return Usage();
            }
        } else if (std::strcmp(argv[i], "--results") == 0 && i + 1 < argc) {
            if (!ReadCount(argv[++i], results) || results == 0 || results > 10000) {
                return Usage();
            }
        } else if (std::strcmp(argv[i], "--quiet") == 0) {
            quiet = true;
        } else {
            return Usage();
        }
    }
    if (resultBytes != 0) {
        sentence.words = MadeUpWords(resultBytes, wordBytes);
    }
    if (sentence.words.empty()) {
        sentence.words.push_back(ResultWord{"こんにちは", "k o N n i ch i w a", 0.0, 100.0, 0.9});
    }
    std::string words;
    if (resultBytes != 0) {
        words = std::to_string(sentence.words.size()) + " made-up words";
    } else {
        for (const ResultWord& word : sentence.words) {
            words += (words.empty() ? "" : " ") + word.label;
        }
    }

    // Signals go to the waiting thread only; every other thread inherits the block.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::atomic<bool> stop{false};
    std::thread waiter([&] {
        int received = 0;
        sigwait(&signals, &received);
        stop = true;
    });

    LoopbackServer server;
    if (results != 0) {
        std::vector<Notice> burst;
        for (std::uint64_t i = 0; i < results; ++i) {
            burst.push_back(Notice::EndPoint("", 1.0 + static_cast<double>(i), {sentence}));
        }
        burst.push_back(Notice::Completed());
        server.SetReply(kNotifyingMethod, Reply::Burst(burst));
    } else {
        server.SetReply(kNotifyingMethod,
                        Reply::Ok().Then(Notice::EndPoint("", 1.0, {sentence})).Then(Notice::Completed()));
    }
    server.Start(static_cast<std::uint16_t>(port));
    std::printf("listening %s\n", server.Address().c_str());
    std::fflush(stdout);
    // Printing copies the whole recording each round, which grows with the run: a long run
    // only waits for the signal.
    if (quiet) {
        waiter.join();
        server.Stop();
        return 0;
    }

    std::size_t printed = 0;
    AudioSinceSummary audio;
    while (!stop) {
        server.WaitUntil([&](const Recording& seen) { return seen.messages.size() > printed; },
                         std::chrono::milliseconds(200));
        Print(server.Snapshot(), printed, audio, words);
    }
    server.Stop();
    waiter.join();
    // What arrived between the last round and the stop.
    const Recording seen = server.Snapshot();
    Print(seen, printed, audio, words);
    for (std::size_t i = 0; i < seen.connections.size(); ++i) {
        for (const std::string& error : seen.connections[i].errors) {
            std::printf("connection %zu: problem: %s\n", i, error.c_str());
        }
    }
    for (const std::string& error : seen.serverErrors) {
        std::printf("server: problem: %s\n", error.c_str());
    }
    std::fflush(stdout);
    return 0;
}
