#include "Helper/Parameters.h"

#include <cstdint>
#include <exception>
#include <sstream>
#include <utility>

#include <boost/filesystem/operations.hpp>
#include <boost/property_tree/json_parser.hpp>
#include <boost/property_tree/ptree.hpp>
#include <boost/regex.hpp>

#include "Helper/Error.h"
#include "Utility/AsciiCase.h"

namespace Orvane {
namespace Helper {
namespace {

const char* const VersionText = "1.0.0.0 [Nov 25 2015 05:18:52]";

// Keys and their default texts, in the order they are put into the text store.
const char* const Defaults[][2] = {
    {"version", VersionText},
    {"server_address", ""},
    {"server_port", "-1"},
    {"ws_proxy_uri", ""},
    {"user_agent", ""},
    {"model_group_name", ""},
    {"serverside_vad_mode", "false"},
    {"continuous_mode", "false"},
    {"detection_mode", "true"},
    {"noise_reduction_mode", "true"},
    {"ostrel_env_mode", "0"},
    {"ostrel_model_file", "./quillet/model_140319"},
    {"ostrel_config_file", "./quillet/vad_config.ini"},
    {"user_id", ""},
    {"connection_timeout", "3000"},
    {"recognition_timeout", "5000"},
    {"sentence_timeout", "10000"},
    {"complete_timeout", "10000"},
    {"service_keep_alive", "false"},
    {"codec", "Opus"},
    {"notify_record", "false"},
    {"recognition_target", ""},
    {"audio_input_device", ""},
    {"recording_delaytime", "0"},
    {"proxy_address", ""},
    {"proxy_port", "-1"},
    {"white_list", ""},
    {"authentication_mode", ""},
    {"authentication_uri", ""},
    {"api_key", ""},
    {"send_timer", "10000"},
    {"receive_timer", "10000"},
    {"response_timer", "10000"},
};

const char* const BooleanKeys[] = {
    "serverside_vad_mode", "continuous_mode", "detection_mode", "noise_reduction_mode",
    "service_keep_alive", "notify_record", "authentication_mode",
};

const char* const IntegerKeys[] = {
    "server_port", "ostrel_env_mode", "connection_timeout", "recognition_timeout",
    "sentence_timeout", "complete_timeout", "recording_delaytime", "proxy_port",
    "send_timer", "receive_timer", "response_timer",
};

const char* const TextKeys[] = {
    "server_address", "ws_proxy_uri", "user_agent", "model_group_name", "user_id", "codec",
    "recognition_target", "audio_input_device", "proxy_address", "white_list",
    "authentication_uri", "api_key", "ostrel_model_file", "ostrel_config_file",
};

// The white list is read by a recursive parser: its nesting is checked first, so that no
// text can exhaust the caller's stack. A real list is two levels deep. Its length costs the
// parser no stack and is not limited.
constexpr std::size_t kWhiteListMaxDepth = 16;

// Why `json` cannot be given to the parser, or empty when it can. Brackets inside strings
// do not count.
std::string WhiteListRefusal(const std::string& json)
{
    std::size_t depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (inString) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > kWhiteListMaxDepth) {
                return "nested deeper than " + std::to_string(kWhiteListMaxDepth) + " levels";
            }
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return std::string();
}

template <std::size_t N>
bool Contains(const char* const (&keys)[N], const std::string& key)
{
    for (const char* candidate : keys) {
        if (key == candidate) {
            return true;
        }
    }
    return false;
}

} // namespace

bool Parameters::ParseInteger(const std::string& text, int& value)
{
    std::string::size_type position = 0;
    bool negative = false;
    if (position < text.size() && (text[position] == '+' || text[position] == '-')) {
        negative = text[position] == '-';
        ++position;
    }
    if (position == text.size()) {
        return false;
    }
    int64_t magnitude = 0;
    for (; position < text.size(); ++position) {
        const char c = text[position];
        if (c < '0' || c > '9') {
            return false;
        }
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > static_cast<int64_t>(INT32_MAX) + 1) {
            return false;
        }
    }
    const int64_t result = negative ? -magnitude : magnitude;
    if (result > INT32_MAX || result < INT32_MIN) {
        return false;
    }
    value = static_cast<int>(result);
    return true;
}

bool Parameters::CheckBoolean(const std::string& text)
{
    return Utility::detail::AsciiEqualsIgnoreCase(text, "true") ||
           Utility::detail::AsciiEqualsIgnoreCase(text, "false");
}

bool Parameters::SetBoolean(const std::string& text)
{
    return Utility::detail::AsciiEqualsIgnoreCase(text, "true");
}

Parameters::Parameters(int encoding)
    : encoding_(encoding), serverPort_(-1), serversideVad_(false), continuous_(false), detection_(false),
      noiseReduction_(false), ostrelEnvMode_(0), connectionTimeout_(0), recognitionTimeout_(0),
      sentenceTimeout_(0), completeTimeout_(0), serviceKeepAlive_(false), notifyRecord_(false),
      recordingDelaytime_(0), proxyPort_(-1), authentication_(false), characterSet_("UTF-8"), sendTimer_(0),
      receiveTimer_(0), responseTimer_(0)
{
    Initialize();
    if (encoding_ == 1) {
        characterSet_ = "Shift_JIS";
    }
    // The typed fields start from the defaults.
    Refresh();
}

Parameters::Parameters(int encoding, std::map<std::string, std::string> options) : Parameters(encoding)
{
    Set(std::move(options));
}

Parameters::~Parameters() = default;

void Parameters::Initialize()
{
    for (const auto& entry : Defaults) {
        store_.insert(std::make_pair(std::string(entry[0]), std::string(entry[1])));
    }
}

void Parameters::Set(const char* key, const char* value)
{
    const std::string name = key ? key : "";
    const std::string text = value ? value : "";
    if (Contains(BooleanKeys, name)) {
        if (!CheckBoolean(text)) {
            throw Error::InvalidOption(encoding_, name + " は真偽値で指定して下さい。");
        }
    } else if (Contains(IntegerKeys, name)) {
        int number = 0;
        if (!ParseInteger(text, number)) {
            throw Error::InvalidOption(encoding_, name + " は整数値で指定して下さい。");
        }
    } else if (!Contains(TextKeys, name)) {
        throw Error::InvalidOption(encoding_, "無効なキーが指定されています。(" + name + ")");
    }
    if (name == "authentication_mode") {
        throw Error::InvalidOption(encoding_, name + " は本プラットフォームサポートでは対象外です。");
    }
    store_[name] = text;
}

void Parameters::Set(std::map<std::string, std::string> options)
{
    for (const auto& option : options) {
        Set(option.first.c_str(), option.second.c_str());
    }
    Refresh();
}

void Parameters::Update(const std::map<std::string, std::string>& options)
{
    Parameters candidate(*this);
    candidate.Set(options);
    candidate.Validate();
    *this = std::move(candidate);
}

const std::string& Parameters::Get(const char* key) const
{
    const std::string name = key ? key : "";
    const auto found = store_.find(name);
    if (found == store_.end()) {
        throw Error::Internal(encoding_, "パラメータが存在しません。(" + name + ")");
    }
    return found->second;
}

bool Parameters::IsExist(const char* key) const
{
    if (!key || !*key) {
        throw Error::Internal(encoding_, "パラメータが指定されていません。");
    }
    return store_.count(key) != 0;
}

bool Parameters::UseWebSocket() const { return serverAddress_.empty() && !wsProxyUri_.empty(); }

void Parameters::Refresh()
{
    const auto text = [this](const char* key, std::string& field) {
        const auto found = store_.find(key);
        if (found != store_.end()) {
            field = found->second;
        }
    };
    const auto flag = [this](const char* key, bool& field) {
        const auto found = store_.find(key);
        if (found != store_.end()) {
            field = SetBoolean(found->second);
        }
    };
    const auto number = [this](const char* key, int& field) {
        const auto found = store_.find(key);
        if (found != store_.end()) {
            ParseInteger(found->second, field);
        }
    };
    text("server_address", serverAddress_);
    number("server_port", serverPort_);
    text("ws_proxy_uri", wsProxyUri_);
    text("user_agent", userAgent_);
    text("model_group_name", modelGroupName_);
    flag("serverside_vad_mode", serversideVad_);
    flag("continuous_mode", continuous_);
    flag("detection_mode", detection_);
    flag("noise_reduction_mode", noiseReduction_);
    number("ostrel_env_mode", ostrelEnvMode_);
    text("ostrel_model_file", ostrelModelFile_);
    text("ostrel_config_file", ostrelConfigFile_);
    text("user_id", userId_);
    number("connection_timeout", connectionTimeout_);
    number("recognition_timeout", recognitionTimeout_);
    number("sentence_timeout", sentenceTimeout_);
    number("complete_timeout", completeTimeout_);
    flag("service_keep_alive", serviceKeepAlive_);
    text("codec", codec_);
    flag("notify_record", notifyRecord_);
    text("recognition_target", recognitionTarget_);
    text("audio_input_device", audioInputDevice_);
    number("recording_delaytime", recordingDelaytime_);
    text("proxy_address", proxyAddress_);
    number("proxy_port", proxyPort_);
    text("white_list", whiteList_);
    flag("authentication_mode", authentication_);
    text("authentication_uri", authenticationUri_);
    text("api_key", apiKey_);
    number("send_timer", sendTimer_);
    number("receive_timer", receiveTimer_);
    number("response_timer", responseTimer_);
}

void Parameters::Validate()
{
    ValidateRoute();
    ValidateCodec();
    ValidateDetection();
    ValidateTimeouts();
    ValidateUserId();
    if (recordingDelaytime_ < 0) {
        throw Error::InvalidOption(encoding_, "録音遅延タイム値に0未満の値が設定されています。");
    }
    ValidateWhiteList();
    ValidateTimers();
}

void Parameters::ValidateRoute() const
{
    const auto isPort = [](int port) { return port >= 0 && port <= 65535; };
    if (!UseWebSocket()) {
        if (serverAddress_.empty()) {
            throw Error::NoServerAddress(encoding_);
        }
        if (!isPort(serverPort_)) {
            throw Error::InvalidServerPort(encoding_);
        }
    }
    if (!proxyAddress_.empty() && !isPort(proxyPort_)) {
        throw Error::InvalidOption(encoding_, "プロキシポート番号が指定されていないか不正な値です。");
    }
    if (userAgent_.empty()) {
        throw Error::NoUserAgent(encoding_);
    }
}

void Parameters::ValidateCodec()
{
    if (codec_.empty()) {
        codec_ = "Opus";
        return;
    }
    for (const char* known : {"PCM", "Opus", "NONE_SPECIFY"}) {
        if (Utility::detail::AsciiEqualsIgnoreCase(codec_, known)) {
            return;
        }
    }
    throw Error::InvalidOption(encoding_, "コーデックは NONE_SPECIFY, PCM, Opus のいずれかを指定して下さい。");
}

void Parameters::ValidateDetection() const
{
    const char* const continuousNeedsServer = "連続認識モードはサーバでの区間検出が有効の場合にしか使用できません。";
    if (detection_ && serversideVad_) {
        return;
    }
    if (detection_) {
        if (continuous_) {
            throw Error::InvalidOption(encoding_, continuousNeedsServer);
        }
        if (ostrelModelFile_.empty()) {
            throw Error::InvalidOption(encoding_, "Quilletモデルファイルが指定されていません。");
        }
        boost::system::error_code ignored;
        if (!boost::filesystem::exists(boost::filesystem::symlink_status(ostrelModelFile_, ignored))) {
            throw Error::InvalidOption(encoding_, "OSTRELモデルファイルが存在しません。[" + ostrelModelFile_ + "]");
        }
        if (!ostrelConfigFile_.empty() &&
            !boost::filesystem::exists(boost::filesystem::symlink_status(ostrelConfigFile_, ignored))) {
            throw Error::InvalidOption(encoding_, "OSTREL設定ファイルが存在しません。[" + ostrelConfigFile_ + "]");
        }
        return;
    }
    if (noiseReduction_) {
        throw Error::InvalidOption(encoding_, "雑音除去は区間検出が有効の場合にしか使用できません。");
    }
    if (serversideVad_) {
        throw Error::InvalidOption(encoding_, "サーバサイド実施モードが有効の場合、区間検出はONに設定して下さい。");
    }
    if (continuous_) {
        throw Error::InvalidOption(encoding_, continuousNeedsServer);
    }
}

void Parameters::ValidateTimeouts() const
{
    if (connectionTimeout_ < 0) {
        throw Error::InvalidOption(encoding_, "接続タイムアウト時間に0未満の値が設定されています。");
    }
    if (completeTimeout_ < 0) {
        throw Error::InvalidCompleteTimeout(encoding_);
    }
    if (recognitionTimeout_ < 0) {
        throw Error::InvalidRecognitionTimeout(encoding_);
    }
    if (sentenceTimeout_ < 0) {
        throw Error::InvalidSentenceTimeout(encoding_);
    }
    if (ostrelEnvMode_ != 0 && ostrelEnvMode_ != 1) {
        throw Error::InvalidOstrelEnvMode(encoding_);
    }
}

void Parameters::ValidateUserId() const
{
    if (userId_.empty()) {
        return;
    }
    if (userId_.size() > 255) {
        throw Error::InvalidOption(encoding_, "ユーザIDの値が最大文字数(255)を超えています。");
    }
    static const boost::regex allowed("^[a-zA-Z0-9!#$%=\\-@.]+$");
    if (!boost::regex_match(userId_, allowed)) {
        throw Error::InvalidOption(encoding_,
                                   "ユーザIDには半角英数及び次の8種の半角記号 !#$%=-@. 以外は使用できません。");
    }
    static const boost::regex fileName("^FILENAME-.*$");
    static const boost::regex metaInfo("^METAINFO=.*$");
    if (boost::regex_match(userId_, fileName) || boost::regex_match(userId_, metaInfo)) {
        throw Error::InvalidOption(encoding_, "ユーザIDに予約語は使用できません。[" + userId_ + "]");
    }
}

void Parameters::ValidateWhiteList()
{
    if (whiteList_.empty()) {
        return;
    }
    const char* const parseFailed = "Whiteリストの解析に失敗しました。[";
    const std::string refusal = WhiteListRefusal(whiteList_);
    if (!refusal.empty()) {
        throw Error::InvalidOption(encoding_, parseFailed + refusal + "]");
    }
    std::list<std::string> regexes;
    std::list<std::string> matches;
    try {
        std::istringstream json(whiteList_);
        boost::property_tree::ptree tree;
        boost::property_tree::read_json(json, tree);
        for (const auto& child : tree.get_child("regex")) {
            regexes.push_back(child.second.get_value<std::string>());
        }
        for (const auto& child : tree.get_child("match")) {
            matches.push_back(child.second.get_value<std::string>());
        }
    } catch (const std::exception& e) {
        throw Error::InvalidOption(encoding_, parseFailed + std::string(e.what()) + "]");
    }
    if (regexes.empty() && matches.empty()) {
        throw Error::InvalidOption(encoding_, "Whiteリストの条件が指定されていません。");
    }
    whiteListConditions_.insert(std::make_pair(std::string("regex"), regexes));
    whiteListConditions_.insert(std::make_pair(std::string("match"), matches));
}

void Parameters::ValidateTimers() const
{
    if (sendTimer_ < 0) {
        throw Error::InvalidOption(encoding_, "送信タイムアウト時間に0未満の値が設定されています。");
    }
    if (receiveTimer_ < 0) {
        throw Error::InvalidOption(encoding_, "受信タイムアウト時間に0未満の値が設定されています。");
    }
    if (responseTimer_ < 0) {
        throw Error::InvalidOption(encoding_, "応答タイムアウト時間に0未満の値が設定されています。");
    }
}

} // namespace Helper
} // namespace Orvane
