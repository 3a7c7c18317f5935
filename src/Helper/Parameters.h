#pragma once

#include <list>
#include <map>
#include <string>

namespace Orvane {
namespace Helper {

// The configuration of one helper. The text store holds one text per key and is the
// store of record; the typed fields are refreshed from it after a set of options has
// been applied. Changed only while no recognition runs; readers on other threads only
// read.
class Parameters {
public:
    explicit Parameters(int encoding);
    Parameters(int encoding, std::map<std::string, std::string> options);
    Parameters(const Parameters&) = default;
    Parameters& operator=(const Parameters&) = default;
    Parameters(Parameters&&) = default;
    Parameters& operator=(Parameters&&) = default;
    virtual ~Parameters();

    // Puts every key with its default text into the text store (existing entries stay).
    void Initialize();

    // Checks `value` by the kind of `key` and stores it; throws 1011 on a bad key or value
    // and leaves the text store unchanged then.
    void Set(const char* key, const char* value);
    // Applies the pairs in key order, then refreshes the typed fields. A failing pair ends
    // it: earlier pairs stay stored, the typed fields are not refreshed.
    void Set(std::map<std::string, std::string> options);
    // Applies the pairs and validates the result as one step: the configuration changes
    // only when the whole of it validates, and a refusal leaves it as it was.
    void Update(const std::map<std::string, std::string>& options);
    // Checks the typed fields as a usable configuration; throws the first failed check. A
    // white list nested deeper than 16 levels is refused (1011) without being read.
    void Validate();

    const std::string& Get(const char* key) const;
    bool IsExist(const char* key) const;

    static bool CheckBoolean(const std::string& text);
    static bool SetBoolean(const std::string& text);

    // The route to the server, for validation and connection alike: a server address
    // selects TCP (with its port), otherwise a WebSocket proxy URI selects WebSocket;
    // with neither the TCP route is taken and validation finds the address missing.
    bool UseWebSocket() const;

    std::string GetHost() const { return serverAddress_; }
    int GetPort() const { return serverPort_; }
    std::string GetWsProxyUri() const { return wsProxyUri_; }
    std::string GetUserAgent() const { return userAgent_; }
    std::string GetModelGroupName() const { return modelGroupName_; }
    bool DoServersideVad() const { return serversideVad_; }
    bool DoContinuous() const { return continuous_; }
    bool DoVad() const { return detection_; }
    bool DoNoiseReduction() const { return noiseReduction_; }
    int GetOstrelEnvMode() const { return ostrelEnvMode_; }
    std::string GetVadInfoPath() const { return ostrelConfigFile_; }
    std::string GetVadModelPath() const { return ostrelModelFile_; }
    std::string GetUserId() const { return userId_; }
    std::string GetCodec() const { return codec_; }
    std::string GetRecognitionTarget() const { return recognitionTarget_; }
    int GetConnectionTimeout() const { return connectionTimeout_; }
    int GetRecordingTimeout() const { return recognitionTimeout_; }
    int GetSentenceTimeout() const { return sentenceTimeout_; }
    int GetCompleteTimeout() const { return completeTimeout_; }
    bool GetServiceKeepAlive() const { return serviceKeepAlive_; }
    bool GetNotifyRecord() const { return notifyRecord_; }
    std::string GetAudioInputDevice() const { return audioInputDevice_; }
    int GetRecordingDelaytime() const { return recordingDelaytime_; }
    std::string GetProxyHost() const { return proxyAddress_; }
    int GetProxyPort() const { return proxyPort_; }
    std::string GetWhiteList() const { return whiteList_; }
    bool DoAuthentication() const { return authentication_; }
    std::string GetAuthenticationUri() const { return authenticationUri_; }
    std::string GetApiKey() const { return apiKey_; }
    int GetSendTimer() const { return sendTimer_; }
    int GetReceiveTimer() const { return receiveTimer_; }
    int GetResponseTimer() const { return responseTimer_; }
    std::string GetCharacterSet() const { return characterSet_; }
    int GetCharacterSetID() const { return encoding_; }

    // The white-list conditions ("regex" and "match") that Validate read.
    const std::map<std::string, std::list<std::string>>& GetWhiteListConditions() const
    {
        return whiteListConditions_;
    }

    // Reads a whole decimal int (optional sign, digits) the same way in every locale.
    static bool ParseInteger(const std::string& text, int& value);

private:
    void Refresh();
    void ValidateRoute() const;
    void ValidateCodec();
    void ValidateDetection() const;
    void ValidateTimeouts() const;
    void ValidateUserId() const;
    void ValidateWhiteList();
    void ValidateTimers() const;

    std::map<std::string, std::string> store_;
    int encoding_;
    std::string serverAddress_;
    std::string wsProxyUri_;
    std::string userAgent_;
    std::string modelGroupName_;
    int serverPort_;
    bool serversideVad_;
    bool continuous_;
    bool detection_;
    bool noiseReduction_;
    int ostrelEnvMode_;
    std::string ostrelConfigFile_;
    std::string ostrelModelFile_;
    std::string userId_;
    std::string codec_;
    std::string recognitionTarget_;
    int connectionTimeout_;
    int recognitionTimeout_;
    int sentenceTimeout_;
    int completeTimeout_;
    bool serviceKeepAlive_;
    bool notifyRecord_;
    std::string audioInputDevice_;
    int recordingDelaytime_;
    std::string proxyAddress_;
    int proxyPort_;
    std::string whiteList_;
    std::map<std::string, std::list<std::string>> whiteListConditions_;
    bool authentication_;
    std::string authenticationUri_;
    std::string apiKey_;
    std::string characterSet_;
    int sendTimer_;
    int receiveTimer_;
    int responseTimer_;
};

} // namespace Helper
} // namespace Orvane
