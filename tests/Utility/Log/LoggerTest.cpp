#include "Utility/Log/Logger.h"

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio/ip/tcp.hpp>
#include <gtest/gtest.h>

#include "Utility/Log/ApplicationLoggerManager.h"
#include "Utility/Log/LogFileAppender.h"

namespace {

using Orvane::Utility::Log::ApplicationLoggerManager;
using Orvane::Utility::Log::LogFileAppender;
using Orvane::Utility::Log::Logger;

// A logger put into the started state so that its queue can be observed; it is
// stopped again before destruction because no writer thread ever acknowledges.
class StartedLogger : public Logger {
public:
    StartedLogger() : Logger("test") { SetState(1); }
    ~StartedLogger() override { SetState(0); }

    std::vector<std::pair<int, std::string>> Drain()
    {
        std::vector<std::pair<int, std::string>> records;
        for (const auto& message : TakeQueued()) {
            records.emplace_back(message->GetLevel(), message->GetText());
        }
        return records;
    }
};

TEST(LoggerTest, ComposeAppendsSourcePosition)
{
    struct Case {
        const char* name;
        std::string text;
        const char* expected;
    };
    const Case cases[] = {
        {"plain with source", Logger::Compose("a.cpp", 12, "メッセージ"), "メッセージ : a.cpp:12"},
        {"plain without source", Logger::Compose(nullptr, 12, "メッセージ"), "メッセージ"},
        {"placeholders left alone without arguments", Logger::Compose(nullptr, 0, "%1%"), "%1%"},
        {"one argument", Logger::Compose(nullptr, 0, "name=%1%", "x"), "name=x"},
        {"three arguments", Logger::Compose("f", -1, "%1%/%2%/%3%", "a", 2, 3.5), "a/2/3.5 : f:-1"},
        {"null format", Logger::Compose(nullptr, 0, nullptr), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expected, c.text);
    }
}

TEST(LoggerTest, ThresholdDropsLowerLevels)
{
    StartedLogger logger;
    logger.WriteLog(1, "f.cpp", 3, "trace %1%", 1);
    logger.WriteLog(2, nullptr, 0, "start");
    logger.WriteLog(3, nullptr, 0, "rejected");
    logger.WriteLog(4, nullptr, 0, "failed=%1%", std::string("x"));
    logger.WriteLog(4, "g.cpp", 9, "failed");
    const auto records = logger.Drain();
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ(4, records[0].first);
    EXPECT_EQ("failed=x", records[0].second);
    EXPECT_EQ("failed : g.cpp:9", records[1].second);
}

TEST(LoggerTest, FormattingFailureBecomesErrorRecord)
{
    StartedLogger logger;
    logger.WriteLog(4, "h.cpp", 7, "%1% %2%", 1);
    logger.WriteLog(4, nullptr, 0, "%1%", 1, 2);
    const auto records = logger.Drain();
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ(4, records[0].first);
    EXPECT_EQ("ログ出力に失敗しました。[%1% %2%] : h.cpp:7", records[0].second);
    EXPECT_EQ("ログ出力に失敗しました。[%1%]", records[1].second);
}

TEST(LoggerTest, NotStartedQueuesNothing)
{
    struct Probe : Logger {
        Probe() : Logger("probe") {}
        size_t Queued() { return TakeQueued().size(); }
    } logger;
    logger.WriteLog(4, nullptr, 0, "dropped %1%", 1);
    logger.Write(4, "dropped");
    EXPECT_EQ(0u, logger.Queued());
}

TEST(LoggerTest, GlobalLoggerIsUsableFromThreads)
{
    Logger& global = ApplicationLoggerManager::Instance();
    EXPECT_EQ(&global, &ApplicationLoggerManager::APPLICAATION_LOGGER_INSTANCE);
    const boost::asio::ip::tcp::endpoint endpoint(boost::asio::ip::make_address("127.0.0.1"), 1);
    std::vector<std::thread> threads;
    std::atomic<int> done{0};
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&] {
            for (int j = 0; j < 1000; ++j) {
                ORVANE_LOG_TRACE("trace %1%", j);
                ORVANE_LOG(4, "failure %1% %2%", endpoint, static_cast<const char*>(nullptr));
            }
            ++done;
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(4, done.load());
}

TEST(LoggerTest, FileSinkHoldsPatternAndLimitOnly)
{
    LogFileAppender sink;
    EXPECT_EQ("${date}.log", sink.GetFileNamePattern());
    EXPECT_EQ(10485760u, sink.GetSizeLimit());
    EXPECT_FALSE(sink.IsOpen());
}

} // namespace
