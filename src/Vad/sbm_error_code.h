#pragma once

// The speech-boundary manager's per-thread error state, separate from the detection
// layer's. Manager, queue, hangover and majority functions that fail return a negative
// code and record it here with a message naming the raising source and line.

enum SbmErrorCode {
    SBM_ERR_MEMORY = -1,
    SBM_ERR_INTERNAL = -2,
    SBM_ERR_NULL = -3,
    SBM_ERR_RANGE = -4,
    SBM_ERR_UNDEFINED_ENV = -5,
    SBM_ERR_OVERFLOW = -6,
    SBM_ERR_VALUE = -7,
    SBM_ERR_STATE = -8,
};

// Size of the message record, terminator included.
constexpr unsigned kSbmErrorMessageSize = 512;

void _SetSBMNoError();
void _SetSBMError(int code, const char* file, int line);
// `format` is printf-like; outside texts are passed only as "%s" arguments.
void _SetSBMErrorDetail(int code, const char* file, int line, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

#define SBM_SET_ERROR(code) _SetSBMError((code), __FILE__, __LINE__)
