#pragma once

// The detection engine's per-thread error state. Every engine function that fails returns
// a negative code and records it here with a message naming the raising source and line.

enum VadErrorCode {
    VAD_ERR_UNDEFINED_ENV = -1,
    VAD_ERR_ENV_TYPE = -2,
    VAD_ERR_ENV_SIZE = -3,
    VAD_ERR_ENV_VALUE = -4,
    VAD_ERR_ENV_RULE = -5,
    VAD_ERR_GMM_OPEN = -11,
    VAD_ERR_GMM_INVALID = -12,
    VAD_ERR_GMM_WRITE = -13,
    VAD_ERR_NOT_STARTED = -21,
    VAD_ERR_TOO_LONG = -22,
    VAD_ERR_WAVE_WRITE = -31,
    VAD_ERR_CONFIG_OPEN = -41,
    VAD_ERR_OPTION = -101,
    VAD_ERR_NULL = -102,
    VAD_ERR_RANGE = -103,
    VAD_ERR_COMBINATION = -104,
    VAD_ERR_MEMORY = -201,
    VAD_ERR_INTERNAL = -202,
};

// Size of the message record, terminator included.
constexpr unsigned kVadErrorMessageSize = 513;

void _SetNoError();
void _SetError(int code, const char* file, int line);
// `format` is printf-like; callers pass outside texts (names, values) only as "%s" arguments.
void _SetErrorDetail(int code, const char* file, int line, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

#define VAD_SET_ERROR(code) _SetError((code), __FILE__, __LINE__)
#define VAD_SET_ERROR_DETAIL(code, ...) _SetErrorDetail((code), __FILE__, __LINE__, __VA_ARGS__)
// Records `code` like VAD_SET_ERROR and yields it: `return VAD_FAIL(code);`.
#define VAD_FAIL(code) (VAD_SET_ERROR(code), (code))
