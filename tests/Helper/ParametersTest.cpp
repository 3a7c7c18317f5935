#include "Helper/Parameters.h"

#include <locale>
#include <map>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "support/CaughtError.h"
#include "support/TemporaryDirectory.h"

namespace {

using Orvane::Helper::Parameters;
using Options = std::map<std::string, std::string>;

const std::string Other = "その他の認識オプションが不正です。詳細=";

using Owned = Orvane::Test::OwnedError;

template <typename Action>
Owned Failure(Action action)
{
    return Orvane::Test::CaughtError(action);
}

// A configuration that validates: TCP route, user agent, detection off.
Options Valid()
{
    return {{"server_address", "127.0.0.1"},  {"server_port", "8080"},
            {"user_agent", "tessival-test"},  {"detection_mode", "false"},
            {"noise_reduction_mode", "false"}};
}

TEST(ParametersTest, SetChecksEachKeyByItsKind)
{
    struct Case {
        const char* key;
        const char* value;
        const char* detail; // null: accepted
    };
    const Case cases[] = {
        {"detection_mode", "TRUE", nullptr},
        {"detection_mode", "fAlSe", nullptr},
        {"detection_mode", "yes", "detection_mode は真偽値で指定して下さい。"},
        {"notify_record", "", "notify_record は真偽値で指定して下さい。"},
        {"authentication_mode", "true", "authentication_mode は本プラットフォームサポートでは対象外です。"},
        {"authentication_mode", "false", "authentication_mode は本プラットフォームサポートでは対象外です。"},
        {"authentication_mode", "maybe", "authentication_mode は真偽値で指定して下さい。"},
        {"server_port", "-1", nullptr},
        {"server_port", "+8080", nullptr},
        {"server_port", "2147483647", nullptr},
        {"server_port", "-2147483648", nullptr},
        {"server_port", "2147483648", "server_port は整数値で指定して下さい。"},
        {"server_port", "abc", "server_port は整数値で指定して下さい。"},
        {"server_port", "", "server_port は整数値で指定して下さい。"},
        {"server_port", "-", "server_port は整数値で指定して下さい。"},
        {"server_port", " 80", "server_port は整数値で指定して下さい。"},
        {"server_port", "80 ", "server_port は整数値で指定して下さい。"},
        {"sentence_timeout", "1.5", "sentence_timeout は整数値で指定して下さい。"},
        {"sentence_timeout", "99999999999999999999", "sentence_timeout は整数値で指定して下さい。"},
        {"user_id", "anything at all", nullptr},
        {"codec", "", nullptr},
        {"version", "2", "無効なキーが指定されています。(version)"},
        {"Codec", "Opus", "無効なキーが指定されています。(Codec)"},
        {"", "x", "無効なキーが指定されています。()"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + "=" + c.value);
        Parameters parameters(2);
        const bool named = *c.key && parameters.IsExist(c.key);
        const std::string before = named ? parameters.Get(c.key) : std::string();
        Owned error = Failure([&] { parameters.Set(c.key, c.value); });
        if (!c.detail) {
            EXPECT_FALSE(error);
            EXPECT_EQ(c.value, parameters.Get(c.key)) << "stored as given";
            continue;
        }
        ASSERT_TRUE(error);
        EXPECT_EQ(1011, error->GetErrorNo());
        EXPECT_EQ(Other + c.detail, error->GetErrorMessage());
        if (named) {
            EXPECT_EQ(before, parameters.Get(c.key)) << "a refused value leaves the store";
        }
    }
}

TEST(ParametersTest, DefaultsGettersAndLookups)
{
    Parameters parameters(2);
    EXPECT_EQ("1.0.0.0 [Nov 25 2015 05:18:52]", parameters.Get("version"));
    EXPECT_EQ("-1", parameters.Get("server_port"));
    EXPECT_EQ("Opus", parameters.GetCodec());
    EXPECT_TRUE(parameters.DoVad());
    EXPECT_TRUE(parameters.DoNoiseReduction());
    EXPECT_EQ(5000, parameters.GetRecordingTimeout());
    EXPECT_EQ(10000, parameters.GetSentenceTimeout());
    EXPECT_EQ("./quillet/model_140319", parameters.GetVadModelPath());
    EXPECT_EQ("./quillet/vad_config.ini", parameters.GetVadInfoPath());
    EXPECT_FALSE(parameters.DoAuthentication());

    Owned missing = Failure([&] { parameters.Get("no_such_key"); });
    ASSERT_TRUE(missing);
    EXPECT_EQ(7000, missing->GetErrorNo());
    EXPECT_STREQ("内部エラーが発生しました。詳細=パラメータが存在しません。(no_such_key)", missing->GetErrorMessage());
    for (const char* key : {static_cast<const char*>(nullptr), ""}) {
        Owned unnamed = Failure([&] { parameters.IsExist(key); });
        ASSERT_TRUE(unnamed);
        EXPECT_STREQ("内部エラーが発生しました。詳細=パラメータが指定されていません。", unnamed->GetErrorMessage());
    }

    struct Case {
        int encoding;
        const char* characterSet;
    };
    for (const Case& c : {Case{1, "Shift_JIS"}, Case{2, "UTF-8"}, Case{0, "UTF-8"}}) {
        Parameters coded(c.encoding);
        EXPECT_EQ(c.characterSet, coded.GetCharacterSet());
        EXPECT_EQ(c.encoding, coded.GetCharacterSetID());
    }
}

TEST(ParametersTest, SetMapRefreshesTypedFieldsOnlyWhenEveryPairPasses)
{
    Parameters parameters(2, {{"detection_mode", "FALSE"}, {"server_port", "8080"}, {"user_id", "first"}});
    EXPECT_FALSE(parameters.DoVad());
    EXPECT_EQ(8080, parameters.GetPort());

    Owned error = Failure([&] {
        parameters.Set(Options{{"audio_input_device", "mic"}, {"proxy_port", "letters"}, {"user_id", "second"}});
    });
    ASSERT_TRUE(error);
    EXPECT_EQ(1011, error->GetErrorNo());
    EXPECT_EQ("mic", parameters.Get("audio_input_device")) << "sorted first, stored before the failure";
    EXPECT_EQ("first", parameters.Get("user_id")) << "after the failure, not stored";
    EXPECT_EQ("", parameters.GetAudioInputDevice()) << "typed fields not refreshed";
    EXPECT_EQ("first", parameters.GetUserId());
}

// A numeric facet with grouping: stream-based conversions read "1.000" as 1000 under it.
struct GroupingPunctuation : std::numpunct<char> {
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

TEST(ParametersTest, IntegersAreReadTheSameInEveryLocale)
{
    const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new GroupingPunctuation));
    Parameters parameters(2);
    Owned grouped = Failure([&] { parameters.Set("sentence_timeout", "1.000"); });
    parameters.Set(Options{{"recognition_timeout", "12000"}});
    std::locale::global(previous);

    ASSERT_TRUE(grouped) << "a grouped number is not an integer text";
    EXPECT_EQ(1011, grouped->GetErrorNo());
    EXPECT_EQ(12000, parameters.GetRecordingTimeout());
}

TEST(ParametersTest, UpdateCommitsOnlyAValidConfiguration)
{
    Parameters parameters(2, Valid());
    parameters.Validate();

    struct Case {
        const char* name;
        Options options;
        int number;
    };
    const Case refused[] = {
        {"codec that does not validate", {{"codec", "Speex"}}, 1011},
        {"valid codec beside a refused value", {{"codec", "PCM"}, {"server_port", "x"}}, 1011},
        {"valid codec beside an invalid port", {{"codec", "PCM"}, {"server_port", "70000"}}, 1001},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.name);
        Owned error = Failure([&] { parameters.Update(c.options); });
        ASSERT_TRUE(error);
        EXPECT_EQ(c.number, error->GetErrorNo());
        EXPECT_EQ("Opus", parameters.Get("codec")) << "the stored text is untouched";
        EXPECT_EQ("Opus", parameters.GetCodec()) << "the typed field is untouched";
        EXPECT_EQ(8080, parameters.GetPort());
        EXPECT_EQ("8080", parameters.Get("server_port"));
    }

    parameters.Update({{"codec", "PCM"}, {"server_port", "9090"}});
    EXPECT_EQ("PCM", parameters.GetCodec());
    EXPECT_EQ(9090, parameters.GetPort());
}

TEST(ParametersTest, ValidateStopsAtTheFirstFailedCheck)
{
    Orvane::Test::TemporaryDirectory directory;
    const std::string model = directory.Write("model", "m");
    const std::string config = directory.Write("config.ini", "[Environment]\n");
    const std::string absent = directory.File("absent");
    const std::string longId(256, 'a');

    struct Case {
        const char* name;
        Options options;
        int number;          // 0: passes
        std::string message; // for 1011 the detail only
    };
    const Case cases[] = {
        {"valid", {}, 0, ""},
        {"defaults alone", {{"server_address", ""}, {"server_port", "-1"}, {"user_agent", ""}}, 1000,
         "サーバアドレスが指定されていません。"},
        {"port -1", {{"server_port", "-1"}}, 1001, "サーバポート番号が指定されていないか不正な値です。"},
        {"port 65536", {{"server_port", "65536"}}, 1001, "サーバポート番号が指定されていないか不正な値です。"},
        {"port 0", {{"server_port", "0"}}, 0, ""},
        {"port 65535", {{"server_port", "65535"}}, 0, ""},
        {"WebSocket route needs no server", {{"server_address", ""}, {"server_port", "-1"}, {"ws_proxy_uri", "wss://h/"}},
         0, ""},
        {"WebSocket URI beside an address: the address's port counts",
         {{"server_port", "-1"}, {"ws_proxy_uri", "wss://h/"}}, 1001, "サーバポート番号が指定されていないか不正な値です。"},
        {"proxy without port", {{"proxy_address", "proxy"}}, 1011, "プロキシポート番号が指定されていないか不正な値です。"},
        {"proxy port without proxy", {{"proxy_port", "-1"}}, 0, ""},
        {"no user agent", {{"user_agent", ""}}, 1009, "UserAgentが指定されていません。"},
        {"codec opus", {{"codec", "opus"}}, 0, ""},
        {"codec pcm", {{"codec", "pcm"}}, 0, ""},
        {"codec none_specify", {{"codec", "none_specify"}}, 0, ""},
        {"codec Speex", {{"codec", "Speex"}}, 1011, "コーデックは NONE_SPECIFY, PCM, Opus のいずれかを指定して下さい。"},
        {"detection off, noise reduction on", {{"noise_reduction_mode", "true"}}, 1011,
         "雑音除去は区間検出が有効の場合にしか使用できません。"},
        {"detection off, server-side on", {{"serverside_vad_mode", "true"}}, 1011,
         "サーバサイド実施モードが有効の場合、区間検出はONに設定して下さい。"},
        {"detection off, continuous on", {{"continuous_mode", "true"}}, 1011,
         "連続認識モードはサーバでの区間検出が有効の場合にしか使用できません。"},
        {"server-side detection skips the files",
         {{"detection_mode", "true"}, {"serverside_vad_mode", "true"}, {"continuous_mode", "true"},
          {"ostrel_model_file", absent}},
         0, ""},
        {"client detection, continuous", {{"detection_mode", "true"}, {"continuous_mode", "true"}}, 1011,
         "連続認識モードはサーバでの区間検出が有効の場合にしか使用できません。"},
        {"client detection, no model", {{"detection_mode", "true"}, {"ostrel_model_file", ""}}, 1011,
         "Quilletモデルファイルが指定されていません。"},
        {"client detection, missing model", {{"detection_mode", "true"}, {"ostrel_model_file", absent}}, 1011,
         "OSTRELモデルファイルが存在しません。[" + absent + "]"},
        {"client detection, missing config",
         {{"detection_mode", "true"}, {"ostrel_model_file", model}, {"ostrel_config_file", absent}}, 1011,
         "OSTREL設定ファイルが存在しません。[" + absent + "]"},
        {"client detection, no config",
         {{"detection_mode", "true"}, {"ostrel_model_file", model}, {"ostrel_config_file", ""}}, 0, ""},
        {"client detection, both files",
         {{"detection_mode", "true"}, {"ostrel_model_file", model}, {"ostrel_config_file", config}}, 0, ""},
        {"connection timeout", {{"connection_timeout", "-1"}}, 1011, "接続タイムアウト時間に0未満の値が設定されています。"},
        {"complete timeout", {{"complete_timeout", "-1"}}, 1002, "認識結果取得タイムアウト時間が不正な値です。"},
        {"recognition timeout", {{"recognition_timeout", "-1"}}, 1003, "音声入力タイムアウト時間が不正な値です。"},
        {"sentence timeout", {{"sentence_timeout", "-1"}}, 1004, "音声区間検出タイムアウト時間が不正な値です。"},
        {"zero timeouts", {{"sentence_timeout", "0"}, {"recognition_timeout", "0"}}, 0, ""},
        {"env mode 2 with detection off", {{"ostrel_env_mode", "2"}}, 1005, "音声区間検出モード値が不正な値です。"},
        {"env mode 1", {{"ostrel_env_mode", "1"}}, 0, ""},
        {"user id of 255", {{"user_id", std::string(255, 'a')}}, 0, ""},
        {"user id of 256", {{"user_id", longId}}, 1011, "ユーザIDの値が最大文字数(255)を超えています。"},
        {"user id symbols", {{"user_id", "a!#$%=-@.Z9"}}, 0, ""},
        {"user id blank", {{"user_id", "a b"}}, 1011,
         "ユーザIDには半角英数及び次の8種の半角記号 !#$%=-@. 以外は使用できません。"},
        {"user id non-ASCII", {{"user_id", "ユーザ"}}, 1011,
         "ユーザIDには半角英数及び次の8種の半角記号 !#$%=-@. 以外は使用できません。"},
        {"user id FILENAME-", {{"user_id", "FILENAME-x"}}, 1011, "ユーザIDに予約語は使用できません。[FILENAME-x]"},
        {"user id METAINFO=", {{"user_id", "METAINFO=x"}}, 1011, "ユーザIDに予約語は使用できません。[METAINFO=x]"},
        {"user id filename-", {{"user_id", "filename-x"}}, 0, ""},
        {"recording delay", {{"recording_delaytime", "-1"}}, 1011, "録音遅延タイム値に0未満の値が設定されています。"},
        {"white list, both empty", {{"white_list", "{\"regex\":[],\"match\":[]}"}}, 1011,
         "Whiteリストの条件が指定されていません。"},
        {"white list, regex and empty match", {{"white_list", "{\"regex\":[\"a.*\"],\"match\":[]}"}}, 0, ""},
        {"send timer", {{"send_timer", "-1"}}, 1011, "送信タイムアウト時間に0未満の値が設定されています。"},
        {"receive timer", {{"receive_timer", "-1"}}, 1011, "受信タイムアウト時間に0未満の値が設定されています。"},
        {"response timer", {{"response_timer", "-1"}}, 1011, "応答タイムアウト時間に0未満の値が設定されています。"},
        {"first failure wins", {{"user_agent", ""}, {"codec", "Speex"}}, 1009, "UserAgentが指定されていません。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Options options = Valid();
        for (const auto& option : c.options) {
            options[option.first] = option.second;
        }
        Parameters parameters(2, options);
        Owned error = Failure([&] { parameters.Validate(); });
        if (c.number == 0) {
            EXPECT_FALSE(error) << (error ? error->GetErrorMessage() : "");
            continue;
        }
        ASSERT_TRUE(error);
        EXPECT_EQ(c.number, error->GetErrorNo());
        EXPECT_EQ(c.number == 1011 ? Other + c.message : c.message, error->GetErrorMessage());
    }
}

TEST(ParametersTest, ValidateRecordsCodecDefaultRouteAndWhiteList)
{
    Options options = Valid();
    options["codec"] = "";
    options["ws_proxy_uri"] = "wss://127.0.0.1:9/";
    options["white_list"] = "{\"regex\":[\"^a\",\"b$\"],\"match\":[\"c\"]}";
    Parameters parameters(2, options);
    parameters.Validate();
    EXPECT_EQ("Opus", parameters.GetCodec());
    EXPECT_EQ("", parameters.Get("codec")) << "the stored text stays empty";
    EXPECT_FALSE(parameters.UseWebSocket()) << "a server address wins over a WebSocket URI";
    options["server_address"] = "";
    EXPECT_TRUE(Parameters(2, options).UseWebSocket());
    const auto& conditions = parameters.GetWhiteListConditions();
    ASSERT_EQ(2u, conditions.size());
    EXPECT_EQ((std::list<std::string>{"^a", "b$"}), conditions.at("regex"));
    EXPECT_EQ((std::list<std::string>{"c"}), conditions.at("match"));
    EXPECT_FALSE(Parameters(2, Valid()).UseWebSocket());
}

TEST(ParametersTest, WhiteListParseFailuresCarryTheReadersText)
{
    for (const char* list : {"{\"regex\":[\"a\"]}", "not json"}) {
        SCOPED_TRACE(list);
        Options options = Valid();
        options["white_list"] = list;
        Parameters parameters(2, options);
        Owned error = Failure([&] { parameters.Validate(); });
        ASSERT_TRUE(error);
        EXPECT_EQ(1011, error->GetErrorNo());
        EXPECT_EQ(0u, std::string(error->GetErrorMessage()).find(Other + "Whiteリストの解析に失敗しました。["));
    }
}

} // namespace
