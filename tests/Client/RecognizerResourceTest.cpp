#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "Client/Grammar.h"
#include "Orvane/AcousticModel.h"
#include "Orvane/Grammar.h"
#include "Orvane/LanguageModel.h"
#include "support/ClientError.h"
#include "support/ConnectedRecognizer.h"
#include "support/TemporaryDirectory.h"
#include "support/WaitFor.h"

namespace {

using namespace Orvane::Test;
using namespace Orvane::Test::Loopback;

const std::string kInternal = "内部エラーが発生しました。詳細=";
const char* const kMissingNode = "受信したレスポンスに期待されたノードが存在しません。";

std::string Little(std::uint32_t value, int bytes)
{
    std::string text;
    for (int i = 0; i < bytes; ++i) {
        text += static_cast<char>((value >> (8 * i)) & 0xff);
    }
    return text;
}

struct WavFormat {
    std::string riff = "RIFF";
    std::string wave = "WAVE";
    std::string fmt = "fmt ";
    std::uint32_t fmtSize = 16;
    std::uint16_t audioFormat = 1;
    std::uint16_t channels = 1;
    std::uint32_t rate = 16000;
    std::uint16_t bits = 16;
    std::string data = "data";
    std::uint32_t dataSize = 0xffffffff; // 0xffffffff: the payload's size
};

std::string Wav(const WavFormat& format, const std::string& payload)
{
    const std::uint32_t dataSize =
        format.dataSize == 0xffffffff ? static_cast<std::uint32_t>(payload.size()) : format.dataSize;
    return format.riff + Little(36 + dataSize, 4) + format.wave + format.fmt + Little(format.fmtSize, 4) +
           Little(format.audioFormat, 2) + Little(format.channels, 2) + Little(format.rate, 4) +
           Little(format.rate * format.channels * format.bits / 8, 4) + Little(format.channels * format.bits / 8, 2) +
           Little(format.bits, 2) + format.data + Little(dataSize, 4) + payload;
}

// Distinct bytes, so a shifted or cut payload shows.
std::string Bytes(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 7 + 3) & 0xff);
    }
    return bytes;
}

// A sparse file of `size` bytes.
std::string SparseFile(const TemporaryDirectory& directory, const std::string& name, off_t size)
{
    const std::string path = directory.File(name);
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(0, ::ftruncate(fd, size));
    ::close(fd);
    return path;
}

class RecognizerResourceTest : public ::testing::Test, protected ConnectedRecognizer {
protected:
    std::string IdOf(Orvane::Grammar* grammar) { return static_cast<Orvane::Client::Grammar*>(grammar)->Reference().Id(); }

    // A call that the recognizer refuses with 7000 and `detail` before it sends anything.
    struct Refusal {
        const char* label;
        std::function<void()> run;
        std::string detail;
    };

    void ExpectRefused(const std::vector<Refusal>& refusals)
    {
        const std::size_t received = ReceivedCount();
        for (const Refusal& c : refusals) {
            SCOPED_TRACE(c.label);
            const ClientError caught = CatchClientError(c.run);
            EXPECT_EQ(7000, caught.number) << caught;
            EXPECT_EQ(kInternal + c.detail, caught.message);
        }
        EXPECT_EQ(received, ReceivedCount());
    }

    TemporaryDirectory directory_;
};

TEST_F(RecognizerResourceTest, LoadsSendTheBytesAndGiveAProxyForTheIdInTheReply)
{
    const std::string content = Bytes(70000);
    const std::string file = directory_.Write("model.bin", content);
    struct Case {
        const char* label;
        std::function<Orvane::Framework*()> load;
        const char* method;
        const char* releaseMethod;
        const char* id;
    } cases[] = {
        {"acoustic model file", [&] { return recognizer->LoadAcousticModel(file.c_str()); },
         "Recognizer::LoadAcousticModel_2", "AcousticModel::Release", "AcousticModel1"},
        {"acoustic model image",
         [&] { return recognizer->LoadAcousticModel(content.data(), static_cast<unsigned int>(content.size())); },
         "Recognizer::LoadAcousticModel_2", "AcousticModel::Release", "AcousticModel2"},
        {"language model file", [&] { return recognizer->LoadLanguageModel(file.c_str()); },
         "Recognizer::LoadLanguageModel_2", "LanguageModel::Release", "LanguageModel1"},
        {"language model image",
         [&] { return recognizer->LoadLanguageModel(content.data(), static_cast<unsigned int>(content.size())); },
         "Recognizer::LoadLanguageModel_2", "LanguageModel::Release", "LanguageModel2"},
        {"grammar file", [&] { return recognizer->LoadGrammar(file.c_str()); }, "Recognizer::LoadGrammar_2",
         "Grammar::Release", "Grammar1"},
        {"grammar image",
         [&] { return recognizer->LoadGrammar(content.data(), static_cast<unsigned int>(content.size())); },
         "Recognizer::LoadGrammar_2", "Grammar::Release", "Grammar2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Orvane::Framework* proxy = c.load();
        const RemoteCall load = LastCall(c.method);
        EXPECT_FALSE(load.hasTarget);
        EXPECT_EQ(std::vector<std::string>{"1"}, load.Arguments("BinaryDataOffset"));
        EXPECT_EQ(std::vector<std::string>{"70000"}, load.Arguments("Size"));
        EXPECT_EQ(2u, load.arguments.children.size());
        ASSERT_TRUE(load.hasBinary);
        EXPECT_EQ(content, load.binary);
        proxy->Release();
        const RemoteCall release = LastCall(c.releaseMethod);
        EXPECT_TRUE(release.hasTarget);
        EXPECT_EQ(c.id, release.targetId);
        EXPECT_TRUE(release.arguments.children.empty());
    }
    EXPECT_EQ("", server.Snapshot().AllProblems());
}

TEST_F(RecognizerResourceTest, AttachesSendTheNameAndAnEmptyGrammarNameIsLocal)
{
    Owned<Orvane::AcousticModel> acoustic(recognizer->AttachAcousticModel("am"));
    Owned<Orvane::LanguageModel> language(recognizer->AttachLanguageModel("lm"));
    Owned<Orvane::Grammar> grammar(recognizer->AttachGrammar("g"));
    EXPECT_EQ(std::vector<std::string>{"am"}, LastCall("Recognizer::AttachAcousticModel").Arguments("String"));
    EXPECT_EQ(std::vector<std::string>{"lm"}, LastCall("Recognizer::AttachLanguageModel").Arguments("String"));
    EXPECT_EQ(std::vector<std::string>{"g"}, LastCall("Recognizer::AttachGrammar").Arguments("String"));
    EXPECT_FALSE(LastCall("Recognizer::AttachGrammar").hasBinary);
    EXPECT_EQ("Grammar1", IdOf(grammar.get()));

    const std::size_t received = ReceivedCount();
    Owned<Orvane::Grammar> local(recognizer->AttachGrammar(""));
    Owned<Orvane::Grammar> shared(recognizer->ShareGrammar(grammar.get()));
    Owned<Orvane::Grammar> sharedOfNothing(recognizer->ShareGrammar(nullptr));
    EXPECT_EQ("", IdOf(local.get()));
    EXPECT_EQ("", IdOf(shared.get()));
    local.reset();
    shared.reset();
    sharedOfNothing.reset();
    EXPECT_EQ(received, ReceivedCount());
    EXPECT_EQ("", server.Snapshot().AllProblems());
}

TEST_F(RecognizerResourceTest, ResourceArgumentsAreCheckedBeforeAnythingIsSent)
{
    const std::string empty = directory_.Write("empty.bin", "");
    const std::string absent = directory_.File("absent.bin");
    const std::string huge = SparseFile(directory_, "huge.bin", off_t(1) << 32);
    ExpectRefused({
        {"acoustic file null", [&] { recognizer->LoadAcousticModel(nullptr); }, "音響モデルファイルが指定されていません。"},
        {"acoustic file empty", [&] { recognizer->LoadAcousticModel(""); }, "音響モデルファイルが指定されていません。"},
        {"acoustic image null", [&] { recognizer->LoadAcousticModel(nullptr, 4); }, "音響モデルイメージが指定されていません。"},
        {"acoustic image size 0", [&] { recognizer->LoadAcousticModel("abcd", 0); },
         "音響モデルイメージが指定されていません。"},
        {"acoustic name null", [&] { recognizer->AttachAcousticModel(nullptr); }, "音響モデル名が指定されていません。"},
        {"acoustic name empty", [&] { recognizer->AttachAcousticModel(""); }, "音響モデル名が指定されていません。"},
        {"language file", [&] { recognizer->LoadLanguageModel(""); }, "言語モデルファイルが指定されていません。"},
        {"language image", [&] { recognizer->LoadLanguageModel("a", 0); }, "言語モデルイメージが指定されていません。"},
        {"language name", [&] { recognizer->AttachLanguageModel(""); }, "言語モデル名が指定されていません。"},
        {"grammar file", [&] { recognizer->LoadGrammar(nullptr); }, "文法ファイルが指定されていません。"},
        {"grammar image", [&] { recognizer->LoadGrammar("abcd", 0); }, "文法イメージが指定されていません。"},
        {"grammar name null", [&] { recognizer->AttachGrammar(nullptr); }, "文法名が指定されていません。"},
        {"empty file", [&] { recognizer->LoadGrammar(empty.c_str()); }, "指定されたファイルのサイズが０バイトです。" + empty},
        {"absent file", [&] { recognizer->LoadAcousticModel(absent.c_str()); },
         "ファイルのオープンに失敗しました。" + absent},
        {"directory", [&] { recognizer->LoadLanguageModel(directory_.Path().c_str()); },
         "指定されたファイルのサイズが０バイトです。" + directory_.Path()},
        {"file of 4 GiB", [&] { recognizer->LoadGrammar(huge.c_str()); },
         "指定されたファイルのサイズが上限を超えています。" + huge},
    });
}

TEST_F(RecognizerResourceTest, AReplyWithoutTargetOrIdIs4001AndAServerErrorPasses)
{
    const std::vector<XmlElement> values[] = {
        {},
        {XmlElement("Target", std::vector<XmlElement>{XmlElement("Kind", "Grammar")})},
        {XmlElement("Other", std::vector<XmlElement>{XmlElement("Id", "1")})},
    };
    for (const std::vector<XmlElement>& value : values) {
        server.QueueReply("Recognizer::AttachGrammar", Reply::Ok(value));
        const ClientError caught = CatchClientError([&] { recognizer->AttachGrammar("g"); });
        EXPECT_EQ(4001, caught.number) << caught;
        EXPECT_EQ(kMissingNode, caught.message);
    }
    server.QueueReply("Recognizer::LoadAcousticModel_2", Reply::Ok());
    EXPECT_EQ(4001, CatchClientError([&] { recognizer->LoadAcousticModel("ab", 2); }).number);

    server.QueueReply("Recognizer::AttachLanguageModel", Reply::Failure("Srv", 21, "unknown model"));
    const ClientError caught = CatchClientError([&] { recognizer->AttachLanguageModel("lm"); });
    EXPECT_EQ("Srv", caught.type);
    EXPECT_EQ(21, caught.number);
    EXPECT_EQ("unknown model", caught.message);
}

TEST_F(RecognizerResourceTest, PreparationSendsTheSpeechOfAFile)
{
    const std::string speech = Bytes(32000);
    const std::string small = Bytes(100);
    WavFormat standard;
    WavFormat narrow;
    narrow.rate = 8000;
    WavFormat shortDataField;
    shortDataField.dataSize = 10;
    WavFormat stereo;
    stereo.channels = 2;
    WavFormat eightBit;
    eightBit.bits = 8;
    WavFormat longFormat;
    longFormat.fmtSize = 18;
    WavFormat cd;
    cd.rate = 44100;
    WavFormat rifx;
    rifx.riff = "RIFX";
    WavFormat compressed;
    compressed.audioFormat = 3;
    ::mkdir(directory_.File("a.wav").c_str(), 0700);

    const std::string badFormat = kInternal + "指定されたwavファイルの形式が不正です。";
    struct Case {
        const char* name;
        std::string content;
        std::string sent; // the payload sent, or empty when the preparation fails
        std::string message;
    } cases[] = {
        {"voice.wav", Wav(standard, speech), speech, ""},
        {"voice.WAV", Wav(standard, speech), speech, ""},
        {"voice.Wav", Wav(standard, speech), speech, ""},
        {"voice8k.wav", Wav(narrow, small), small, ""},
        {"short-field.wav", Wav(shortDataField, small), small, ""},
        {"voice.wav.bak", Wav(standard, small), Wav(standard, small), ""},
        {"voice", Wav(standard, small), Wav(standard, small), ""},
        {"a.wav/voice", small, small, ""},
        {"voice.raw", small, small, ""},
        {"stereo.wav", Wav(stereo, small), "", badFormat},
        {"eight.wav", Wav(eightBit, small), "", badFormat},
        {"long-format.wav", Wav(longFormat, small), "", badFormat},
        {"cd.wav", Wav(cd, small), "", badFormat},
        {"rifx.wav", Wav(rifx, small), "", badFormat},
        {"float.wav", Wav(compressed, small), "", badFormat},
        {"odd.raw", Bytes(5), "", badFormat},
        {"odd.wav", Wav(standard, Bytes(5)), "", badFormat},
        {"43.wav", Wav(standard, "").substr(0, 43), "", ""},
        {"44.wav", Wav(standard, ""), "", ""},
        {"empty.raw", "", "", ""},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = directory_.Write(c.name, c.content);
        if (std::string(c.name) == "43.wav") {
            c.message = kInternal + "指定されたファイルのサイズが０バイトです。" + path;
        }
        const std::size_t prepared = Calls("Recognizer::Prepare_2");
        const ClientError caught = CatchClientError([&] { recognizer->Prepare("method1", path.c_str()); });
        if (!c.sent.empty()) {
            EXPECT_FALSE(caught.thrown) << caught;
            const RemoteCall call = LastCall("Recognizer::Prepare_2");
            EXPECT_EQ(std::vector<std::string>{"method1"}, call.Arguments("String"));
            EXPECT_EQ(std::vector<std::string>{"1"}, call.Arguments("BinaryDataOffset"));
            EXPECT_EQ(std::vector<std::string>{std::to_string(c.sent.size())}, call.Arguments("Size"));
            EXPECT_TRUE(c.sent == call.binary) << "sent " << call.binary.size() << " bytes";
        } else {
            EXPECT_EQ(7000, caught.number) << caught;
            if (c.message.empty()) {
                // An empty payload is refused before anything is sent.
                EXPECT_EQ(0u, caught.message.find(kInternal + "参照データの準備、設定に失敗しました。")) << caught;
            } else {
                EXPECT_EQ(c.message, caught.message);
            }
            EXPECT_EQ(prepared, Calls("Recognizer::Prepare_2"));
        }
    }
    EXPECT_EQ("", server.Snapshot().AllProblems());
}

TEST_F(RecognizerResourceTest, PreparationRefusesMissingArgumentsAndFiles)
{
    const std::string absent = directory_.File("absent.wav");
    const std::string huge = SparseFile(directory_, "huge.raw", (off_t(1) << 32) + 2);
    const std::string data = Bytes(8);
    ExpectRefused({
        {"file, null method", [&] { recognizer->Prepare(nullptr, "f"); }, "メソッドが指定されていません。"},
        {"file, empty method", [&] { recognizer->Prepare("", nullptr); }, "メソッドが指定されていません。"},
        {"file, null file", [&] { recognizer->Prepare("m", nullptr); }, "音声ファイルが指定されていません。"},
        {"file, empty file", [&] { recognizer->Prepare("m", ""); }, "音声ファイルが指定されていません。"},
        {"absent file", [&] { recognizer->Prepare("m", absent.c_str()); }, "ファイルのオープンに失敗しました。" + absent},
        {"directory", [&] { recognizer->Prepare("m", directory_.Path().c_str()); },
         "ファイルのサイズ取得に失敗しました。" + directory_.Path()},
        {"file of 4 GiB", [&] { recognizer->Prepare("m", huge.c_str()); },
         "指定されたファイルのサイズが上限を超えています。" + huge},
        {"data, empty method", [&] { recognizer->Prepare("", nullptr, 0); }, "メソッドが指定されていません。"},
        {"data, size 0", [&] { recognizer->Prepare("m", data.data(), 0); }, "音声データが指定されていません。"},
        {"data, null", [&] { recognizer->Prepare("m", nullptr, 8); }, "音声データが指定されていません。"},
    });

    // Speech from memory goes as it is, an odd size included.
    const std::string speech = Bytes(32000);
    recognizer->Prepare("m", speech.data(), static_cast<unsigned int>(speech.size()));
    EXPECT_EQ(std::vector<std::string>{"32000"}, LastCall("Recognizer::Prepare_2").Arguments("Size"));
    EXPECT_TRUE(speech == LastCall("Recognizer::Prepare_2").binary);
    recognizer->Prepare("m", data.data(), 3);
    EXPECT_EQ(data.substr(0, 3), LastCall("Recognizer::Prepare_2").binary);

    server.QueueReply("Recognizer::Prepare_2", Reply::Failure("Srv", 5, "bad method"));
    EXPECT_EQ(5, CatchClientError([&] { recognizer->Prepare("m", data.data(), 2); }).number);
}

// A model of another implementation of the public interface.
struct ForeignAcousticModel : Orvane::AcousticModel {
    void Release() override {}
};
struct ForeignLanguageModel : Orvane::LanguageModel {
    void Release() override {}
};

TEST_F(RecognizerResourceTest, GrammarOperationsAddressTheGrammarOnTheServer)
{
    Owned<Orvane::AcousticModel> acoustic(recognizer->AttachAcousticModel("am"));
    Owned<Orvane::LanguageModel> language(recognizer->AttachLanguageModel("lm"));
    Owned<Orvane::Grammar> grammar(recognizer->AttachGrammar("g"));
    Owned<Orvane::Grammar> local(recognizer->AttachGrammar(""));

    grammar->Activate();
    grammar->Deactivate();
    grammar->SetAcousticParameter(3, "x");
    grammar->SetModels(acoustic.get(), nullptr);
    grammar->SetModels(acoustic.get(), language.get());
    grammar->SetName("ignored");
    const std::vector<Received> calls = server.Snapshot().Calls();
    ASSERT_LE(5u, calls.size());
    const std::vector<std::string> expected = {"Grammar::Activate", "Grammar::Deactivate",
                                               "Grammar::SetAcousticParameter", "Grammar::SetModels",
                                               "Grammar::SetModels"};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const RemoteCall& call = calls[calls.size() - expected.size() + i].call;
        SCOPED_TRACE(call.method);
        EXPECT_EQ(expected[i], call.method);
        EXPECT_TRUE(call.hasTarget);
        EXPECT_EQ("Grammar", call.targetKind);
        EXPECT_EQ("Grammar1", call.targetId);
    }
    const RemoteCall parameter = LastCall("Grammar::SetAcousticParameter");
    EXPECT_EQ(std::vector<std::string>{"3"}, parameter.Arguments("Integer"));
    EXPECT_EQ(std::vector<std::string>{"x"}, parameter.Arguments("String"));
    const auto targets = [](const RemoteCall& call) {
        std::vector<std::string> texts;
        for (const XmlElement& target : call.arguments.children) {
            texts.push_back(target.name + ":" + target.ChildText("Kind") + "/" + target.ChildText("Id"));
        }
        return texts;
    };
    const std::vector<Received> models = server.Snapshot().Calls("Grammar::SetModels");
    EXPECT_EQ((std::vector<std::string>{"Target:AcousticModel/AcousticModel1", "Target:LanguageModel/0"}),
              targets(models[0].call));
    EXPECT_EQ((std::vector<std::string>{"Target:AcousticModel/AcousticModel1", "Target:LanguageModel/LanguageModel1"}),
              targets(models[1].call));

    // A local grammar's calls carry no Target.
    local->Activate();
    local->SetModels(acoustic.get(), nullptr);
    EXPECT_FALSE(LastCall("Grammar::Activate").hasTarget);
    EXPECT_FALSE(LastCall("Grammar::SetModels").hasTarget);

    ForeignAcousticModel foreignAcoustic;
    ForeignLanguageModel foreignLanguage;
    struct Case {
        const char* label;
        std::function<void()> run;
        int number;
        std::string message; // whole message, or its beginning when `prefix`
        bool prefix;
    } cases[] = {
        {"no acoustic model", [&] { grammar->SetModels(nullptr, language.get()); }, 7000,
         kInternal + "音響モデルが指定されていません。", false},
        {"foreign acoustic model", [&] { grammar->SetModels(&foreignAcoustic, nullptr); }, 7000,
         kInternal + "不正な音響モデルが指定されました。", false},
        {"foreign language model", [&] { grammar->SetModels(acoustic.get(), &foreignLanguage); }, 7000,
         kInternal + "不正な言語モデルが指定されました。", false},
        {"null parameter value", [&] { grammar->SetAcousticParameter(1, nullptr); }, 7000,
         kInternal + "音響モデルパラメータの設定に失敗しました。", true},
        {"xml result", [&] { grammar->GetXmlResult(); }, 7001, "指定された処理は未サポートです。", false},
    };
    const std::size_t received = ReceivedCount();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const ClientError caught = CatchClientError(c.run);
        EXPECT_EQ(c.number, caught.number) << caught;
        if (c.prefix) {
            EXPECT_EQ(0u, caught.message.find(c.message)) << caught;
        } else {
            EXPECT_EQ(c.message, caught.message);
        }
    }
    EXPECT_EQ(received, ReceivedCount());

    server.QueueReply("Grammar::Activate", Reply::Failure("Srv", 8, "no such grammar"));
    EXPECT_EQ(8, CatchClientError([&] { grammar->Activate(); }).number);

    // Releases: the remote grammar and the models say so, the local grammar sends nothing.
    const std::size_t before = ReceivedCount();
    local.reset();
    EXPECT_EQ(before, ReceivedCount());
    grammar.reset();
    EXPECT_EQ("Grammar1", LastCall("Grammar::Release").targetId);
    EXPECT_EQ("", server.Snapshot().AllProblems());

    // A model released after the connection has ended goes quietly.
    server.Close();
    acoustic.reset();
    language.reset();
}

TEST_F(RecognizerResourceTest, GrammarListenersReceiveTheirGrammarsNotifications)
{
    EventLog grammarLog;
    RecordingGrammarListener remoteListener(grammarLog, "remote");
    RecordingGrammarListener localListener(grammarLog, "local");
    Owned<Orvane::Grammar> remote(recognizer->AttachGrammar("g"));
    Owned<Orvane::Grammar> local(recognizer->AttachGrammar(""));
    remote->SetListener(&remoteListener);
    local->SetListener(&localListener);

    server.Notify(Notice::StartPoint("Grammar1", 0.5));
    server.Notify(Notice::EndPoint("Grammar1", 1.5, {{0.9, {{"今日;きょう", "ky o u", 0, 10, 0.8}}}}));
    server.Notify(Notice::TempPoint("Other", 0.75, {{0.5, {{"明日", "a sh i t a", 0, 5, 0.4}}}}));
    ASSERT_TRUE(grammarLog.WaitForCount(3));
    EXPECT_EQ((std::vector<std::string>{"remote: StartPoint 0.5", "remote: EndPoint 1.5 1 今日",
                                        "local: TempPoint 0.75 1 明日"}),
              grammarLog.Events());
}

// A released grammar left its listener registered: the handler, kept by other grammars,
// called a listener that its owner had freed. Another grammar's listener must stay.
TEST_F(RecognizerResourceTest, AReleasedGrammarTakesOnlyItsOwnListenerAlong)
{
    EventLog grammarLog;
    auto first = std::make_unique<RecordingGrammarListener>(grammarLog, "first");
    RecordingGrammarListener second(grammarLog, "second");
    auto remoteListener = std::make_unique<RecordingGrammarListener>(grammarLog, "remote");
    Owned<Orvane::Grammar> a(recognizer->AttachGrammar(""));
    Owned<Orvane::Grammar> b(recognizer->AttachGrammar(""));
    Owned<Orvane::Grammar> remote(recognizer->AttachGrammar("g"));
    a->SetListener(first.get());
    b->SetListener(&second); // the one entry of the empty id is now b's
    remote->SetListener(remoteListener.get());

    a.reset();
    first.reset();
    remote.reset();
    remoteListener.reset();
    server.Notify(Notice::StartPoint("", 1.0));
    server.Notify(Notice::StartPoint("Grammar1", 2.0)); // reaches the empty id's listener now
    ASSERT_TRUE(grammarLog.WaitForCount(2));

    b.reset();
    server.Notify(Notice::StartPoint("", 3.0));
    server.Notify(Notice::SentenceEnd()); // delivered after the start point: the end of the check
    ASSERT_TRUE(log.WaitForCount(1));
    EXPECT_EQ((std::vector<std::string>{"second: StartPoint 1", "second: StartPoint 2"}), grammarLog.Events());
}

// The completion hook and the recognizer listener outlived a released recognizer when a
// grammar kept its notification handler: queued notifications then called freed objects.
TEST_F(RecognizerResourceTest, ReleaseWithQueuedNotificationsAndAGrammarStillHeld)
{
    EventLog grammarLog;
    RecordingGrammarListener grammarListener(grammarLog);
    std::promise<void> gate;
    std::shared_future<void> opened = gate.get_future().share();
    grammarListener.action = [opened] { opened.wait(); };
    Owned<Orvane::Grammar> grammar(recognizer->AttachGrammar(""));
    grammar->SetListener(&grammarListener);
    recognizer->Recognize();
    recognizer->AsyncComplete();

    // The handler's thread blocks in the first delivery; the rest queue up behind it, the
    // last start point marking the end of the queue.
    server.Notify(Notice::StartPoint("", 1.0));
    server.Notify(Notice::SentenceEnd());
    server.Notify(Notice::Completed());
    server.Notify(Notice::Error("Srv", 1, "late"));
    server.Notify(Notice::StartPoint("", 2.0));
    ASSERT_TRUE(server.WaitForAcknowledgements(5));
    ASSERT_TRUE(grammarLog.WaitForCount(1));

    recognizer.reset();
    gate.set_value();
    // The grammar keeps the handler, which delivers the rest of its queue.
    ASSERT_TRUE(grammarLog.WaitForCount(2));
    EXPECT_EQ(0u, log.Count());
    grammar.reset();
}

} // namespace
