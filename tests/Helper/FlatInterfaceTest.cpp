// The flat interface's argument checks, refusals and error records, without a server.
#include <gtest/gtest.h>

#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>

#include "Orvane/Utility/TextEncoding.h"
#include "quor_helper.h"
#include "support/FlatHelper.h"
#include "support/ParameterFile.h"
#include "support/TemporaryDirectory.h"

namespace {

using namespace Orvane::Test;

void Ignore(_quor_helper*, void*) {}

const std::string Model = TESSIVAL_SOURCE_DIR "/data/quillet/model_140319";
const std::string Config = TESSIVAL_SOURCE_DIR "/data/quillet/vad_config.ini";

std::string Message(const quor_helper_error& error) { return error.message; }

// A record whose message holds text from an earlier call.
quor_helper_error Dirty()
{
    quor_helper_error error;
    std::memset(&error, 'x', sizeof(error));
    error.message[sizeof(error.message) - 1] = '\0';
    return error;
}

TEST(FlatInterfaceTest, ANullRecordRefusesEveryCallAndDoesNothing)
{
    FlatHelper& helper = FlatHelper::Create();
    _quor_helper* handle = helper.Handle();
    EXPECT_EQ(-1, quor_helper_initialize(handle, "/nonexistent", nullptr));
    EXPECT_EQ(-1, quor_helper_regist_callback(handle, 1, Ignore, nullptr, nullptr));
    EXPECT_EQ(-1, quor_helper_set_option(handle, "codec", "Opus", nullptr));
    EXPECT_EQ(-1, quor_helper_start(handle, nullptr));
    EXPECT_EQ(-1, quor_helper_stop(handle, nullptr));
    EXPECT_EQ(-1, quor_helper_cancel(handle, nullptr));
    EXPECT_EQ(-1, quor_helper_release(handle, nullptr));
    // Nothing was replaced: the recording callbacks are still those registered first.
    TemporaryDirectory directory;
    ASSERT_EQ(0, helper.Initialize(WriteParameterFile(directory.File("p.ini"), {{"server_address", "127.0.0.1"},
                                                                                 {"server_port", "1"},
                                                                                 {"user_agent", "ua"},
                                                                                 {"user_id", "id"},
                                                                                 {"ostrel_model_file", Model},
                                                                                 {"ostrel_config_file", Config}})));
    ASSERT_EQ(0, helper.SetOption("recognition_target", directory.Write("empty.raw", "")));
    ASSERT_EQ(0, helper.Start());
    ASSERT_TRUE(helper.WaitForCompletions(1));
    EXPECT_TRUE(helper.LastCompletion().error);
}

TEST(FlatInterfaceTest, ANullHandleIsRefusedWithItsDetail)
{
    quor_helper_error error = Dirty();
    const std::string detail = "internal error occurred. detail=helper is not specified.";
    struct Case {
        const char* name;
        int result;
    };
    const Case cases[] = {
        {"initialize", quor_helper_initialize(nullptr, "p.ini", &error)},
        {"regist_callback", quor_helper_regist_callback(nullptr, 1, Ignore, nullptr, &error)},
        {"set_option", quor_helper_set_option(nullptr, "codec", "Opus", &error)},
        {"start", quor_helper_start(nullptr, &error)},
        {"stop", quor_helper_stop(nullptr, &error)},
        {"cancel", quor_helper_cancel(nullptr, &error)},
        {"release", quor_helper_release(nullptr, &error)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(-1, c.result);
    }
    EXPECT_EQ(0, error.flag);
    EXPECT_EQ(7000, error.number);
    EXPECT_STREQ("Orvane::Client", error.type);
    EXPECT_EQ(detail, Message(error));
}

TEST(FlatInterfaceTest, CreationChoosesTheEncodingByName)
{
    quor_helper_error error = Dirty();
    // Handles live as long as the process: this one stays reachable.
    static _quor_helper* const handle = quor_helper_create(nullptr);
    ASSERT_NE(nullptr, handle);
    EXPECT_EQ(nullptr, quor_helper_create2(&error, nullptr));
    EXPECT_EQ(7000, error.number);
    EXPECT_EQ("internal error occurred. detail=quor_helper_create failed. encoding is not specified.", Message(error));

    // The encoding shows in the library's messages: start before initialisation.
    const std::string utf8 = "状態が不正です。詳細=state is not ready";
    struct Case {
        const char* name;
        bool shiftJis;
    };
    const Case cases[] = {{"Shift_JIS", true}, {"shift_jis", true}, {"SHIFT_JIS", true},
                          {"SJIS", false},     {"Shift_JIS ", false}, {"", false},
                          {"UTF-8", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FlatHelper& helper = FlatHelper::Create(c.name);
        EXPECT_EQ(-1, helper.Start());
        EXPECT_EQ(2000, helper.Error().number);
        EXPECT_EQ(c.shiftJis ? Orvane::Utility::Utf8ToSjis(utf8.c_str()) : utf8, Message(helper.Error()));
    }
}

TEST(FlatInterfaceTest, CallbackRegistration)
{
    FlatHelper& helper = FlatHelper::Create();
    struct Case {
        int kind;
        bool function;
        int result;
        const char* message;
    };
    const Case cases[] = {
        {9, false, -1, "internal error occurred. detail=callback_func is not specified."},
        {1, false, -1, "internal error occurred. detail=callback_func is not specified."},
        {0, true, -1, "internal error occurred. detail=Invalid type was specified."},
        {7, true, -1, "internal error occurred. detail=Invalid type was specified."},
        {-1, true, -1, "internal error occurred. detail=Invalid type was specified."},
        {1, true, 0, ""},
        {6, true, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        quor_helper_error error = Dirty();
        EXPECT_EQ(c.result, quor_helper_regist_callback(helper.Handle(), c.kind, c.function ? Ignore : nullptr,
                                                        nullptr, &error));
        EXPECT_EQ(c.message, Message(error));
        if (c.result != 0) {
            EXPECT_EQ(7000, error.number);
            EXPECT_STREQ("Orvane::Client", error.type);
        }
    }
}

class FlatInitializeTest : public ::testing::Test {
protected:
    std::string Good()
    {
        return WriteParameterFile(directory_.File("good.ini"), {{"server_address", "127.0.0.1"},
                                                                 {"server_port", "1"},
                                                                 {"user_agent", "ua"},
                                                                 {"user_id", "id"},
                                                                 {"ostrel_model_file", Model},
                                                                 {"ostrel_config_file", Config}});
    }

    TemporaryDirectory directory_;
};

TEST_F(FlatInitializeTest, RefusedFilesAndStates)
{
    FlatHelper& helper = FlatHelper::Create();
    EXPECT_EQ(-1, helper.Stop());
    EXPECT_EQ("状態が不正です。詳細=state is not running", Message(helper.Error()));
    EXPECT_EQ(-1, helper.SetOption("codec", "Opus"));
    EXPECT_EQ(2000, helper.Error().number);
    EXPECT_EQ(0, helper.Release()) << "nothing runs";

    struct Case {
        const char* name;
        std::string contents; // empty: no file
        int number;
        std::string message;
    };
    // The user's mistakes name their cause and the file.
    const std::string missing = directory_.File("missing.ini");
    const std::string file = directory_.File("case.ini");
    const std::string reader = "internal error occurred. detail=quor_helper_initialize failed. " + file;
    const Case cases[] = {
        {"missing file", "", 7000,
         "内部エラーが発生しました。詳細=file open failed. " + missing + " (No such file or directory)"},
        {"no Environment section", "[Other]\nserver_address=1\n", 7000,
         reader + ": section [Environment] is missing or empty"},
        {"empty Environment section", "[Environment]\n", 7000, reader + ": section [Environment] is missing or empty"},
        {"duplicate key", "[Environment]\nuser_id=a\nuser_id=b\n", 7000, reader + "(3): duplicate key name"},
        {"syntax error", "[Environment\nuser_id=a\n", 7000, reader + "(1): unmatched '['"},
        {"bad value", "[Environment]\nserver_address=a\nserver_port=x\nuser_agent=u\nuser_id=i\n", 1011, ""},
        {"no server", "[Environment]\nuser_agent=u\nuser_id=i\nostrel_model_file=" + Model + "\nostrel_config_file=" + Config + "\n", 1000, ""},
    };
    ASSERT_EQ(0, helper.Initialize(Good())) << helper.Error().message;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = c.contents.empty() ? missing : directory_.Write("case.ini", c.contents);
        EXPECT_EQ(-1, helper.Initialize(path));
        EXPECT_EQ(c.number, helper.Error().number) << helper.Error().message;
        if (!c.message.empty()) {
            EXPECT_EQ(c.message, Message(helper.Error()));
        }
        if (c.number == 7000) {
            // A file that cannot be read leaves the configuration as it was.
            EXPECT_EQ(0, helper.SetOption("codec", "Opus")) << helper.Error().message;
        } else {
            // A configuration that fails its checks is dropped: nothing starts.
            EXPECT_EQ(-1, helper.SetOption("codec", "Opus"));
            EXPECT_EQ(-1, helper.Start());
            EXPECT_EQ(2000, helper.Error().number);
            ASSERT_EQ(0, helper.Initialize(Good()));
        }
    }
    EXPECT_EQ(-1, quor_helper_initialize(helper.Handle(), nullptr, const_cast<quor_helper_error*>(&helper.Error())));
    EXPECT_EQ(7000, helper.Error().number);
}

TEST_F(FlatInitializeTest, OptionsAndRelease)
{
    FlatHelper& helper = FlatHelper::Create();
    ASSERT_EQ(0, helper.Initialize(Good()));
    quor_helper_error error = Dirty();
    EXPECT_EQ(-1, quor_helper_set_option(helper.Handle(), nullptr, "x", &error));
    EXPECT_EQ(1011, error.number);
    EXPECT_EQ("その他の認識オプションが不正です。詳細=SetOption invalid parameter", Message(error));
    EXPECT_EQ(-1, quor_helper_set_option(helper.Handle(), "", "x", &error));
    EXPECT_EQ(1011, error.number);
    // A refused value leaves the configuration usable and unchanged.
    EXPECT_EQ(-1, helper.SetOption("server_port", "70000"));
    EXPECT_EQ(1001, helper.Error().number);
    EXPECT_EQ(0, quor_helper_set_option(helper.Handle(), "user_agent", "other", &error)) << error.message;
    EXPECT_EQ(-1, quor_helper_set_option(helper.Handle(), "user_agent", nullptr, &error)) << "NULL is the empty text";
    EXPECT_EQ(1009, error.number);

    EXPECT_EQ(0, helper.Release());
    EXPECT_EQ(-1, helper.Start());
    EXPECT_EQ("状態が不正です。詳細=state is not ready", Message(helper.Error()));
    EXPECT_EQ(-1, helper.SetOption("codec", "Opus"));
    ASSERT_EQ(0, helper.Initialize(Good()));
    EXPECT_EQ(0, helper.SetOption("codec", "Opus"));
}

// A Shift_JIS helper dropped the bytes around a file name byte that is not UTF-8.
TEST_F(FlatInitializeTest, AFileNameThatIsNotUtf8IsShownWithAVisibleReplacement)
{
    const std::string path = directory_.Path() + "/caf\xE9.ini";
    const std::string shown = "内部エラーが発生しました。詳細=file open failed. " + directory_.Path() +
                              "/caf%s.ini (No such file or directory)";
    struct Case {
        const char* encoding;
        std::string message;
    };
    const Case cases[] = {
        {"Shift_JIS", Orvane::Utility::Utf8ToSjis(shown.substr(0, shown.find("%s")).c_str()) + "?" +
                          shown.substr(shown.find("%s") + 2)},
        {"UTF-8", shown.substr(0, shown.find("%s")) + "\xEF\xBF\xBD" + shown.substr(shown.find("%s") + 2)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.encoding);
        FlatHelper& helper = FlatHelper::Create(c.encoding);
        EXPECT_EQ(-1, helper.Initialize(path));
        EXPECT_EQ(7000, helper.Error().number);
        EXPECT_EQ(c.message, Message(helper.Error()));
    }
}

// Runs `action` on a thread whose stack is `bytes` long and waits for it.
void OnSmallStack(std::size_t bytes, const std::function<void()>& action)
{
    pthread_attr_t attributes;
    ASSERT_EQ(0, pthread_attr_init(&attributes));
    ASSERT_EQ(0, pthread_attr_setstacksize(&attributes, bytes));
    pthread_t thread;
    std::function<void()> body = action;
    const int started = pthread_create(
        &thread, &attributes,
        [](void* run) -> void* {
            (*static_cast<std::function<void()>*>(run))();
            return nullptr;
        },
        &body);
    pthread_attr_destroy(&attributes);
    ASSERT_EQ(0, started);
    ASSERT_EQ(0, pthread_join(thread, nullptr));
}

// A deeply nested white list overflowed the stack of the recursive JSON reader, from an
// option and from the parameter file alike. A flat list of any length costs it no stack,
// yet one over 64 KiB was refused.
TEST_F(FlatInitializeTest, NestedWhiteListsAreRefusedBeforeTheyAreReadAndLongFlatOnesAccepted)
{
    std::string flat = "{\"regex\":[";
    for (int entry = 0; entry < 40000; ++entry) {
        flat += (entry == 0 ? "\"^entry " : ",\"^entry ") + std::to_string(entry) + " [0-9]+ (yes|no)$\"";
    }
    flat += "],\"match\":[\"yes\"]}";
    const std::string parseFailed = "その他の認識オプションが不正です。詳細=Whiteリストの解析に失敗しました。[";
    struct Case {
        const char* name;
        std::string list;
        std::string refusal; // empty: accepted
    };
    const Case cases[] = {
        {"100,000 levels", std::string(100000, '['), "nested deeper than 16 levels]"},
        {"60,000 levels", std::string(60000, '['), "nested deeper than 16 levels]"},
        {"17 levels", "{\"regex\":[" + std::string(15, '[') + std::string(15, ']') + "],\"match\":[]}",
         "nested deeper than 16 levels]"},
        {"16 levels", "{\"regex\":[" + std::string(14, '[') + std::string(14, ']') + "],\"match\":[]}", ""},
        {"brackets inside strings", "{\"regex\":[\"" + std::string(100, '[') + "\\\"{\"],\"match\":[]}", ""},
        {"a real list", "{\"regex\":[\"^today\",\"[0-9]+\"],\"match\":[\"yes\"]}", ""},
        {"one entry of 1 MiB", "{\"regex\":[\"" + std::string(1 << 20, 'a') + "\"],\"match\":[]}", ""},
        {"40,000 entries", flat, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FlatHelper& helper = FlatHelper::Create();
        int fromFile = 0;
        int fromOption = 0;
        quor_helper_error fileError{};
        OnSmallStack(256 * 1024, [&] {
            std::map<std::string, std::string> options = {{"server_address", "127.0.0.1"}, {"server_port", "1"},
                                                          {"user_agent", "ua"},           {"user_id", "id"},
                                                          {"ostrel_model_file", Model},   {"ostrel_config_file", Config},
                                                          {"white_list", c.list}};
            fromFile = quor_helper_initialize(helper.Handle(),
                                              WriteParameterFile(directory_.File("list.ini"), options).c_str(),
                                              &fileError);
            helper.Initialize(Good());
            fromOption = helper.SetOption("white_list", c.list);
        });
        if (c.refusal.empty()) {
            EXPECT_EQ(0, fromFile) << fileError.message;
            EXPECT_EQ(0, fromOption) << helper.Error().message;
            continue;
        }
        for (const quor_helper_error* error : {static_cast<const quor_helper_error*>(&fileError), &helper.Error()}) {
            EXPECT_EQ(1011, error->number);
            EXPECT_EQ(parseFailed + c.refusal, Message(*error));
        }
        EXPECT_EQ(-1, fromFile);
        EXPECT_EQ(-1, fromOption);
    }
}

// The record is written within its 1024 bytes, the texts cut at a character boundary,
// even with a record that ends right before an unreadable page.
TEST_F(FlatInitializeTest, LongMessagesStayInsideTheRecord)
{
    const long page = sysconf(_SC_PAGESIZE);
    void* pages = mmap(nullptr, static_cast<std::size_t>(2 * page), PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(MAP_FAILED, pages);
    ASSERT_EQ(0, mprotect(static_cast<char*>(pages) + page, static_cast<std::size_t>(page), PROT_NONE));
    quor_helper_error* record =
        reinterpret_cast<quor_helper_error*>(static_cast<char*>(pages) + page - sizeof(quor_helper_error));

    FlatHelper& helper = FlatHelper::Create();
    std::string path = directory_.Path() + "/";
    while (path.size() < 3000) {
        path += "音声";
    }
    EXPECT_EQ(-1, quor_helper_initialize(helper.Handle(), path.c_str(), record));
    EXPECT_EQ(7000, record->number);
    const std::string message(record->message);
    EXPECT_LT(message.size(), sizeof(record->message));
    EXPECT_GT(message.size(), sizeof(record->message) - 4);
    const std::string full = "内部エラーが発生しました。詳細=file open failed. " + path;
    EXPECT_EQ(full.substr(0, message.size()), message);
    EXPECT_NE(0x80, static_cast<unsigned char>(full[message.size()]) & 0xC0) << "cut before a whole character";
    munmap(pages, static_cast<std::size_t>(2 * page));
}

} // namespace
