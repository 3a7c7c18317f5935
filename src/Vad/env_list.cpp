#include "Vad/env_list.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Orvane/Vad/VadEngine.h"
#include "Vad/detect_vad.h"
#include "Vad/quillet_error_common.h"

const DefVariableRow DefVariable[] = {
    {"VAD:NumStream", "VAD_INT", "1"},
    {"VAD:ProbN2S", "VAD_REAL", "0.2"},
    {"VAD:ProbS2N", "VAD_REAL", "0.1"},
    {"VAD:Threshold", "VAD_REAL", "5.0"},
    {"VAD:FilLen", "VAD_INT", "2"},
    {"VAD:MaxSDuration", "VAD_INT", "10"},
    {"VAD:MaxNDuration", "VAD_INT", "10"},
    {"VAD:MaxGap", "VAD_INT", "50"},
    {"VAD:Output", "VAD_STR", "OBS_WAV"},
    {"PARADE:LowF0", "VAD_REAL", "50.0"},
    {"PARADE:HighF0", "VAD_REAL", "500.0"},
    {"PARADE:FilLen", "VAD_INT", "3"},
    {"PKF:InitFrame", "VAD_INT", "10"},
    {"PKF:DrvVar", "VAD_REAL", "0.0001"},
    {"PKF:CumR", "VAD_REAL", "0.9"},
    {"PKF:SpeechGMMPath", "VAD_STR", ""},
    {"PKF:NoiseGMMPath", "VAD_STR", ""},
    {"GMMW:NScale", "VAD_REAL", "0.0"},
    {"GMMW:Forget", "VAD_REAL", "1.0"},
    {"FE:SampFreq", "VAD_REAL", "16000.0"},
    {"FE:FramePts", "VAD_INT", "320"},
    {"FE:ShiftPts", "VAD_INT", "160"},
    {"FE:PreEmp", "VAD_REAL", "0.97"},
    {"FE:NumChan", "VAD_INT", "1"},
    {"FE:NumFFT", "VAD_INT", "256"},
    {"FE:NumFB", "VAD_INT", "12"},
    {"FE:LowPass", "VAD_REAL", "0.0"},
    {"FE:HighPass", "VAD_REAL", "8000.0"},
    {"PKF:SpeechGMMBuff", "VAD_PTR", nullptr},
    {"PKF:NoiseGMMBuff", "VAD_PTR", nullptr},
    {"MAP:NumTranFrames", "VAD_INT", "3000"},
    {"MAP:NMix", "VAD_INT", "4"},
    {nullptr, nullptr, nullptr},
};

namespace {

const char* const kPathAlias = "PKF:GMMPath";
const char* const kPathName = "PKF:SpeechGMMPath";
const char* const kBuffAlias = "PKF:GMMBuff";
const char* const kBuffName = "PKF:SpeechGMMBuff";

enum class RuleKind {
    OneOrTwo,        // 1 or 2
    OpenUnit,        // 0 < v < 1
    Positive,        // v > 0
    NonNegative,     // v >= 0
    OutputKind,      // one of the output names
    BelowOther,      // 0 < v < other
    AboveOther,      // v > other
    HalfOpenUnit,    // 0 < v <= 1
    AnyText,         // no condition
    ClosedUnit,      // 0 <= v <= 1
    ZeroToBelowOne,  // 0 <= v < 1
    PowerAboveOther, // nonzero power of two above other
    NonNegBelowOther,// v >= 0, then v < other
    NonNegAboveOther,// v >= 0, then v > other
    AnyBlock,        // a block of at least one byte
    ReadOnly,        // cannot be set
};

struct Rule {
    const char* name;
    RuleKind kind;
    const char* text;
    const char* other; // the variable compared with
    const char* text2; // text of the comparison for the two-step rules
};

const Rule kRules[] = {
    {"VAD:NumStream", RuleKind::OneOrTwo, "1 または 2", nullptr, nullptr},
    {"VAD:ProbN2S", RuleKind::OpenUnit, "1未満の 正の実数", nullptr, nullptr},
    {"VAD:ProbS2N", RuleKind::OpenUnit, "1未満の 正の実数", nullptr, nullptr},
    {"VAD:Threshold", RuleKind::Positive, "正の実数", nullptr, nullptr},
    {"VAD:FilLen", RuleKind::Positive, "正の整数", nullptr, nullptr},
    {"VAD:MaxSDuration", RuleKind::NonNegative, "0以上の 整数", nullptr, nullptr},
    {"VAD:MaxNDuration", RuleKind::NonNegative, "0以上の 整数", nullptr, nullptr},
    {"VAD:MaxGap", RuleKind::NonNegative, "0以上の 整数", nullptr, nullptr},
    {"VAD:Output", RuleKind::OutputKind,
     "OBS_WAV または OutVADLabel=F または OutVADLabel=T または MMSE_WAV", nullptr, nullptr},
    {"PARADE:LowF0", RuleKind::BelowOther, "PARADE:HighF0未満の 正の実数", "PARADE:HighF0", nullptr},
    {"PARADE:HighF0", RuleKind::AboveOther, "PARADE:LowF0より大きい 正の実数", "PARADE:LowF0", nullptr},
    {"PARADE:FilLen", RuleKind::Positive, "正の整数", nullptr, nullptr},
    {"PKF:InitFrame", RuleKind::Positive, "正の整数", nullptr, nullptr},
    {"PKF:DrvVar", RuleKind::Positive, "正の実数", nullptr, nullptr},
    {"PKF:CumR", RuleKind::HalfOpenUnit, "1以下の 正の実数", nullptr, nullptr},
    {"PKF:SpeechGMMPath", RuleKind::AnyText, nullptr, nullptr, nullptr},
    {"PKF:NoiseGMMPath", RuleKind::AnyText, nullptr, nullptr, nullptr},
    {"GMMW:NScale", RuleKind::ClosedUnit, "0以上 1以下の 実数", nullptr, nullptr},
    {"GMMW:Forget", RuleKind::HalfOpenUnit, "1以下の 正の実数", nullptr, nullptr},
    {"FE:SampFreq", RuleKind::Positive, "正の実数", nullptr, nullptr},
    {"FE:FramePts", RuleKind::Positive, "正の整数", nullptr, nullptr},
    {"FE:ShiftPts", RuleKind::Positive, "正の整数", nullptr, nullptr},
    {"FE:PreEmp", RuleKind::ZeroToBelowOne, "0以上 1未満の 実数", nullptr, nullptr},
    {"FE:NumChan", RuleKind::Positive, "1以上の 整数", nullptr, nullptr},
    {"FE:NumFFT", RuleKind::PowerAboveOther, "2の累乗 かつ FE:FramePtsより大きい 整数", "FE:FramePts",
     nullptr},
    {"FE:NumFB", RuleKind::Positive, "1以上の 整数", nullptr, nullptr},
    {"FE:LowPass", RuleKind::NonNegBelowOther, "0以上の 実数", "FE:HighPass", "FE:HighPassより小さい実数"},
    {"FE:HighPass", RuleKind::NonNegAboveOther, "0以上の 実数", "FE:LowPass", "FE:LowPassより大きい値"},
    {"PKF:SpeechGMMBuff", RuleKind::AnyBlock, nullptr, nullptr, nullptr},
    {"PKF:NoiseGMMBuff", RuleKind::AnyBlock, nullptr, nullptr, nullptr},
    {"MAP:NumTranFrames", RuleKind::ReadOnly, nullptr, nullptr, nullptr},
    {"MAP:NMix", RuleKind::ReadOnly, nullptr, nullptr, nullptr},
};

const Rule* FindRule(const char* name)
{
    for (const Rule& rule : kRules) {
        if (std::strcmp(rule.name, name) == 0) {
            return &rule;
        }
    }
    return nullptr;
}

const char* Alias(const char* name)
{
    return std::strcmp(name, kPathAlias) == 0 ? kPathName : name;
}

int TypeFromText(const char* type)
{
    static const char* const kTypes[] = {"VAD_INT", "VAD_REAL", "VAD_STR", "VAD_PTR"};
    for (int t = 0; t < 4; ++t) {
        if (std::strcmp(type, kTypes[t]) == 0) {
            return t;
        }
    }
    return -1;
}

// Text values are at most kVadEnvTextSize - 1 characters.
bool TextFits(const char* text)
{
    return std::strlen(text) < kVadEnvTextSize;
}

VADEnv* Walk(VADEnv* node, const char* name, bool modified)
{
    for (; node != nullptr; node = modified ? node->nextModified : node->next) {
        if (std::strcmp(node->name, name) == 0) {
            return node;
        }
    }
    return nullptr;
}

// The variable by pending list first, then the list of all; no error change when absent.
VADEnv* Current(VADEnvList* list, const char* name)
{
    VADEnv* node = Walk(list->firstModified, name, true);
    return node != nullptr ? node : Walk(list->first, name, false);
}

double NumericValue(const VADEnv* node)
{
    return node->type == VAD_INT ? static_cast<double>(node->value.i) : node->value.r;
}

int RuleViolation(const char* name, const char* text)
{
    VAD_SET_ERROR_DETAIL(VAD_ERR_ENV_RULE, "%s は \"%s\" を許容", name, text);
    return VAD_ERR_ENV_RULE;
}

bool IsPowerOfTwo(double v)
{
    if (!(v >= 1.0) || v > 4294967296.0) {
        return false;
    }
    const unsigned long long n = static_cast<unsigned long long>(v);
    return (n & (n - 1)) == 0;
}

// Applies the rule of `rule` to a candidate read back from its text form.
int ApplyRule(VADEnvList* list, const Rule& rule, double v, const char* text)
{
    double other = 0.0;
    if (rule.other != nullptr) {
        const VADEnv* node = Current(list, rule.other);
        if (node == nullptr) {
            VAD_SET_ERROR_DETAIL(VAD_ERR_UNDEFINED_ENV, "%s", rule.other);
            return VAD_ERR_UNDEFINED_ENV;
        }
        other = NumericValue(node);
    }
    bool ok = true;
    switch (rule.kind) {
    case RuleKind::OneOrTwo: ok = v == 1.0 || v == 2.0; break;
    case RuleKind::OpenUnit: ok = v > 0.0 && v < 1.0; break;
    case RuleKind::Positive: ok = v > 0.0; break;
    case RuleKind::NonNegative: ok = v >= 0.0; break;
    case RuleKind::OutputKind:
        ok = std::strcmp(text, "OBS_WAV") == 0 || std::strcmp(text, "OutVADLabel=F") == 0 ||
             std::strcmp(text, "OutVADLabel=T") == 0 || std::strcmp(text, "MMSE_WAV") == 0;
        break;
    case RuleKind::BelowOther: ok = v > 0.0 && v < other; break;
    case RuleKind::AboveOther: ok = v > other; break;
    case RuleKind::HalfOpenUnit: ok = v > 0.0 && v <= 1.0; break;
    case RuleKind::ClosedUnit: ok = v >= 0.0 && v <= 1.0; break;
    case RuleKind::ZeroToBelowOne: ok = v >= 0.0 && v < 1.0; break;
    case RuleKind::PowerAboveOther: ok = IsPowerOfTwo(v) && v > other; break;
    case RuleKind::NonNegBelowOther:
    case RuleKind::NonNegAboveOther:
        if (!(v >= 0.0)) {
            return RuleViolation(rule.name, rule.text);
        }
        ok = rule.kind == RuleKind::NonNegBelowOther ? v < other : v > other;
        if (!ok) {
            return RuleViolation(rule.name, rule.text2);
        }
        break;
    case RuleKind::AnyText:
    case RuleKind::AnyBlock: break;
    case RuleKind::ReadOnly: break;
    }
    return ok ? 0 : RuleViolation(rule.name, rule.text);
}

// The check common to the four setter types: `text` is the candidate rendered as text.
int PreModifiedCheck(VADEnvList* list, const char* name, int type, const char* text)
{
    if (list == nullptr || name == nullptr || std::strlen(name) >= kVadEnvNameSize || text == nullptr ||
        !TextFits(text)) {
        return VAD_FAIL(VAD_ERR_OPTION);
    }
    name = Alias(name);
    const VADEnv* node = Current(list, name);
    if (node == nullptr) {
        VAD_SET_ERROR_DETAIL(VAD_ERR_UNDEFINED_ENV, "%s", name);
        return VAD_ERR_UNDEFINED_ENV;
    }
    if (node->type != type) {
        VAD_SET_ERROR_DETAIL(VAD_ERR_ENV_TYPE, "%s", name);
        return VAD_ERR_ENV_TYPE;
    }
    const Rule* rule = FindRule(name);
    if (rule == nullptr || rule->kind == RuleKind::ReadOnly) {
        return VAD_FAIL(VAD_ERR_UNDEFINED_ENV);
    }
    double v = 0.0;
    if (type == VAD_INT) {
        v = std::trunc(std::strtod(text, nullptr));
    } else if (type == VAD_REAL) {
        v = std::strtod(text, nullptr);
        // Infinite and undefined reals would poison every stage.
        if (!std::isfinite(v)) {
            return RuleViolation(rule->name, rule->text);
        }
    }
    return ApplyRule(list, *rule, v, text);
}

_tagVADInfo* Checked(_tagVADInfo* handle, const char* name)
{
    if (handle == nullptr || name == nullptr) {
        VAD_SET_ERROR(VAD_ERR_NULL);
        return nullptr;
    }
    return handle;
}

// Links the variable into the pending list unless it is there already.
VADEnv* MarkModified(VADEnvList* list, const char* name)
{
    VADEnv* node = FindModifiedVADEnv(list, name);
    if (node == nullptr) {
        node = FindVADEnv(list, name);
        if (node != nullptr) {
            node->nextModified = list->firstModified;
            list->firstModified = node;
        }
    }
    return node;
}

// Looks a variable up in the list of all, or in the pending list when `modified`; the
// error is cleared when found.
VADEnv* Find(VADEnvList* list, const char* name, bool modified)
{
    if (list == nullptr) {
        VAD_SET_ERROR(VAD_ERR_NULL);
        return nullptr;
    }
    VADEnv* first = modified ? list->firstModified : list->first;
    VADEnv* node = name != nullptr ? Walk(first, Alias(name), modified) : nullptr;
    if (node != nullptr) {
        _SetNoError();
    }
    return node;
}

// Reads a variable for a stage, recording -1 (absent) or -2 (other type) with its name.
VADEnv* ReadEnv(VADEnvList* list, const char* name, int type)
{
    VADEnv* node = FindVADEnv(list, name);
    if (node == nullptr) {
        if (list != nullptr) {
            VAD_SET_ERROR_DETAIL(VAD_ERR_UNDEFINED_ENV, "%s", name);
        }
        return nullptr;
    }
    if (node->type != type) {
        VAD_SET_ERROR_DETAIL(VAD_ERR_ENV_TYPE, "%s", name);
        return nullptr;
    }
    return node;
}

// Reads a variable of `type` into the caller's place with `store`; the recorded error
// when there is none.
template <typename Store>
int ReadTyped(VADEnvList* list, const char* name, int type, const Store& store)
{
    const VADEnv* node = ReadEnv(list, name, type);
    if (node == nullptr) {
        return GetVADLastError();
    }
    store(*node);
    return 0;
}

} // namespace

VADEnvList* AllocVADEnvList()
{
    VADEnvList* list = static_cast<VADEnvList*>(std::calloc(1, sizeof(VADEnvList)));
    if (list == nullptr) {
        VAD_SET_ERROR(VAD_ERR_MEMORY);
    }
    return list;
}

void FreeVADEnvList(VADEnvList* list)
{
    if (list == nullptr) {
        return;
    }
    VADEnv* node = list->first;
    while (node != nullptr) {
        VADEnv* next = node->next;
        if (node->type == VAD_PTR) {
            std::free(node->value.p);
        }
        std::free(node);
        node = next;
    }
    std::free(list);
}

int AddVADEnv(VADEnvList* list, const char* name, const char* type, const char* value)
{
    if (list == nullptr || name == nullptr || type == nullptr || std::strlen(name) >= kVadEnvNameSize) {
        return VAD_FAIL(VAD_ERR_OPTION);
    }
    const int t = TypeFromText(type);
    if (t < 0) {
        return VAD_FAIL(VAD_ERR_ENV_TYPE);
    }
    if (t != VAD_PTR && value == nullptr) {
        return VAD_FAIL(VAD_ERR_OPTION);
    }
    if (t == VAD_STR && !TextFits(value)) {
        return VAD_FAIL(VAD_ERR_ENV_SIZE);
    }
    VADEnv* node = static_cast<VADEnv*>(std::calloc(1, sizeof(VADEnv)));
    if (node == nullptr) {
        return VAD_FAIL(VAD_ERR_MEMORY);
    }
    std::snprintf(node->name, sizeof node->name, "%s", name);
    node->type = t;
    switch (t) {
    case VAD_INT: node->value.i = static_cast<int>(std::trunc(std::strtod(value, nullptr))); break;
    case VAD_REAL: node->value.r = std::strtod(value, nullptr); break;
    case VAD_STR: std::snprintf(node->value.s, sizeof node->value.s, "%s", value); break;
    default: node->value.p = const_cast<char*>(value); break;
    }
    node->next = list->first;
    list->first = node;
    return 0;
}

int SetupVADEnvList(VADEnvList* list)
{
    for (const DefVariableRow* row = DefVariable; row->name != nullptr; ++row) {
        const int result = AddVADEnv(list, row->name, row->type, row->value);
        if (result != 0) {
            return result;
        }
    }
    return 0;
}

VADEnv* FindVADEnv(VADEnvList* list, const char* name)
{
    return Find(list, name, false);
}

VADEnv* FindModifiedVADEnv(VADEnvList* list, const char* name)
{
    return Find(list, name, true);
}

void ClearModifiedVADEnv(VADEnvList* list)
{
    if (list == nullptr) {
        return;
    }
    VADEnv* node = list->firstModified;
    while (node != nullptr) {
        VADEnv* next = node->nextModified;
        node->nextModified = nullptr;
        node = next;
    }
    list->firstModified = nullptr;
}

int PreModifiedCheckInt(VADEnvList* list, const char* name, int value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%d", value);
    return PreModifiedCheck(list, name, VAD_INT, text);
}

int PreModifiedCheckReal(VADEnvList* list, const char* name, double value)
{
    // Rendered with six decimals: the rule sees the value rounded that way.
    char text[512];
    std::snprintf(text, sizeof text, "%lf", value);
    return PreModifiedCheck(list, name, VAD_REAL, text);
}

int PreModifiedCheckStr(VADEnvList* list, const char* name, const char* value)
{
    return PreModifiedCheck(list, name, VAD_STR, value);
}

int PreModifiedCheckPtr(VADEnvList* list, const char* name, const void* value)
{
    if (value == nullptr) {
        return VAD_FAIL(VAD_ERR_OPTION);
    }
    char text[32];
    std::snprintf(text, sizeof text, "%p", value);
    return PreModifiedCheck(list, name, VAD_PTR, text);
}

int ReadEnvInt(VADEnvList* list, const char* name, int* value)
{
    return ReadTyped(list, name, VAD_INT, [value](const VADEnv& node) { *value = node.value.i; });
}

int ReadEnvReal(VADEnvList* list, const char* name, double* value)
{
    return ReadTyped(list, name, VAD_REAL, [value](const VADEnv& node) { *value = node.value.r; });
}

int ReadEnvStr(VADEnvList* list, const char* name, const char** value)
{
    return ReadTyped(list, name, VAD_STR, [value](const VADEnv& node) { *value = node.value.s; });
}

int ReadEnvPtr(VADEnvList* list, const char* name, const void** data, unsigned int* size)
{
    return ReadTyped(list, name, VAD_PTR, [data, size](const VADEnv& node) {
        *data = node.value.p;
        *size = node.size;
    });
}

extern "C" {

int SetVariableVADInt(_tagVADInfo* handle, const char* name, int value)
{
    if (Checked(handle, name) == nullptr) {
        return VAD_ERR_NULL;
    }
    const int result = PreModifiedCheckInt(handle->env, name, value);
    if (result != 0) {
        return result;
    }
    MarkModified(handle->env, name)->value.i = value;
    return 0;
}

int SetVariableVADReal(_tagVADInfo* handle, const char* name, double value)
{
    if (Checked(handle, name) == nullptr) {
        return VAD_ERR_NULL;
    }
    const int result = PreModifiedCheckReal(handle->env, name, value);
    if (result != 0) {
        return result;
    }
    MarkModified(handle->env, name)->value.r = value;
    return 0;
}

int SetVariableVADStr(_tagVADInfo* handle, const char* name, const char* value)
{
    if (Checked(handle, name) == nullptr || value == nullptr) {
        return VAD_FAIL(VAD_ERR_NULL);
    }
    if (std::strlen(value) > kVadEnvTextSize) {
        return VAD_FAIL(VAD_ERR_OPTION);
    }
    const int result = PreModifiedCheckStr(handle->env, name, value);
    if (result != 0) {
        return result;
    }
    VADEnv* node = MarkModified(handle->env, name);
    std::snprintf(node->value.s, sizeof node->value.s, "%s", value);
    return 0;
}

int SetVariableVADPtr(_tagVADInfo* handle, const char* name, const void* data, unsigned int size)
{
    if (Checked(handle, name) == nullptr || data == nullptr || size == 0) {
        return VAD_FAIL(VAD_ERR_NULL);
    }
    if (std::strcmp(name, kBuffAlias) == 0) {
        name = kBuffName;
    }
    const int result = PreModifiedCheckPtr(handle->env, name, data);
    if (result != 0) {
        return result;
    }
    VADEnv* node = MarkModified(handle->env, name);
    std::free(node->value.p);
    node->value.p = std::malloc(size);
    if (node->value.p == nullptr) {
        node->size = 0;
        return VAD_FAIL(VAD_ERR_MEMORY);
    }
    std::memcpy(node->value.p, data, size);
    node->size = size;
    return 0;
}

int GetVariableVADInt(_tagVADInfo* handle, const char* name, int* value)
{
    if (Checked(handle, name) == nullptr || value == nullptr) {
        return VAD_FAIL(VAD_ERR_NULL);
    }
    return ReadEnvInt(handle->env, name, value);
}

int GetVariableVADReal(_tagVADInfo* handle, const char* name, double* value)
{
    if (Checked(handle, name) == nullptr || value == nullptr) {
        return VAD_FAIL(VAD_ERR_NULL);
    }
    return ReadEnvReal(handle->env, name, value);
}

int GetVariableVADStr(_tagVADInfo* handle, const char* name, char* buffer, unsigned int capacity)
{
    if (Checked(handle, name) == nullptr || buffer == nullptr) {
        return VAD_FAIL(VAD_ERR_NULL);
    }
    const char* text = nullptr;
    const int result = ReadEnvStr(handle->env, name, &text);
    if (result != 0) {
        return result;
    }
    const std::size_t length = std::strlen(text);
    if (length > capacity) {
        return VAD_FAIL(VAD_ERR_ENV_SIZE);
    }
    std::memcpy(buffer, text, length + 1);
    return 0;
}

} // extern "C"
