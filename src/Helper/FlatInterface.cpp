// The flat C interface: each function checks its arguments, runs one helper operation and
// turns whatever it throws into the caller's error record.
#include <exception>
#include <new>
#include <string>

#include "Helper/Error.h"
#include "Helper/Tessival.h"

namespace {
using Orvane::Helper::Tessival;

void Clear(quor_helper_error* error)
{
    if (error != nullptr) {
        error->message[0] = '\0';
    }
}

void WriteInternal(quor_helper_error& record, const std::string& detail, int encoding)
{
    Orvane::Exception* error = Orvane::Helper::Error::Wrap(encoding, Orvane::Helper::Error::FlatInternal(detail));
    Tessival::Fill(record, *error, encoding);
    error->Release();
}

// The failure being handled, written into `record`; the error object is released here.
void WriteCaught(quor_helper_error& record, const char* detail, int encoding)
{
    try {
        throw;
    } catch (Orvane::Exception* error) {
        if (error != nullptr) {
            Tessival::Fill(record, *error, encoding);
            error->Release();
        } else {
            WriteInternal(record, detail, encoding);
        }
    } catch (const std::exception& e) {
        // The cause, such as the parameter file's syntax error, follows the detail.
        WriteInternal(record, std::string(detail) + " " + e.what(), encoding);
    } catch (...) {
        WriteInternal(record, detail, encoding);
    }
}

template <typename Operation>
int Run(_quor_helper* handle, quor_helper_error* error, const char* detail, Operation operation)
{
    if (error == nullptr) {
        return -1;
    }
    Clear(error);
    if (handle == nullptr) {
        WriteInternal(*error, "helper is not specified.", 2);
        return -1;
    }
    Tessival& helper = *Tessival::FromHandle(handle);
    try {
        operation(helper);
        return 0;
    } catch (...) {
        try {
            WriteCaught(*error, detail, helper.GetEncoding());
        } catch (...) {
        }
        return -1;
    }
}
} // namespace

extern "C" {

QUOR_HELPER_API _quor_helper* quor_helper_create2(quor_helper_error* error, const char* encoding)
{
    Clear(error);
    try {
        Tessival* helper = new Tessival(Tessival::EncodingOf(encoding));
        return helper->Handle();
    } catch (...) {
        if (error != nullptr) {
            try {
                WriteCaught(*error, "quor_helper_create failed.", 2);
            } catch (...) {
            }
        }
        return nullptr;
    }
}

QUOR_HELPER_API _quor_helper* quor_helper_create(quor_helper_error* error)
{
    return quor_helper_create2(error, "UTF-8");
}

QUOR_HELPER_API int quor_helper_initialize(_quor_helper* handle, const char* path, quor_helper_error* error)
{
    return Run(handle, error, "quor_helper_initialize failed.",
               [path](Tessival& helper) { helper.InitWithDevice(path); });
}

QUOR_HELPER_API int quor_helper_regist_callback(_quor_helper* handle, int kind, quor_helper_callback function,
                                                void* data, quor_helper_error* error)
{
    if (error != nullptr && handle != nullptr) {
        // The function is checked before the kind.
        const char* const refusal = function == nullptr                 ? "callback_func is not specified."
                                    : !Tessival::IsCallbackKind(kind) ? "Invalid type was specified."
                                                                      : nullptr;
        if (refusal != nullptr) {
            Clear(error);
            WriteInternal(*error, refusal, Tessival::FromHandle(handle)->GetEncoding());
            return -1;
        }
    }
    return Run(handle, error, "quor_helper_regist_callback failed.",
               [=](Tessival& helper) { helper.RegisterCallback(kind, function, data); });
}

QUOR_HELPER_API int quor_helper_set_option(_quor_helper* handle, const char* key, const char* value,
                                           quor_helper_error* error)
{
    return Run(handle, error, "quor_helper_set_option failed.",
               [=](Tessival& helper) { helper.SetOption(key, value); });
}

QUOR_HELPER_API int quor_helper_start(_quor_helper* handle, quor_helper_error* error)
{
    return Run(handle, error, "quor_helper_start failed.", [](Tessival& helper) { helper.Start(); });
}

QUOR_HELPER_API int quor_helper_stop(_quor_helper* handle, quor_helper_error* error)
{
    return Run(handle, error, "quor_helper_stop failed.", [](Tessival& helper) { helper.Stop(); });
}

QUOR_HELPER_API int quor_helper_cancel(_quor_helper* handle, quor_helper_error* error)
{
    return Run(handle, error, "quor_helper_cancel failed.", [](Tessival& helper) { helper.Cancel(); });
}

QUOR_HELPER_API int quor_helper_release(_quor_helper* handle, quor_helper_error* error)
{
    return Run(handle, error, "quor_helper_release failed.", [](Tessival& helper) { helper.Release(); });
}

ORVANE_EXPORT Orvane::Tessival* CreateHelper2(const char* encoding)
{
    if (encoding == nullptr) {
        throw Orvane::Helper::Error::Internal(2, "encoding is not specified.");
    }
    return new Tessival(Tessival::EncodingOf(encoding));
}

ORVANE_EXPORT Orvane::Tessival* CreateHelper() { return CreateHelper2("UTF-8"); }

} // extern "C"
