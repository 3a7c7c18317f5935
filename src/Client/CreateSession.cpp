// The exported factories of the recognition client.
#include "Orvane/Session.h"

#include "Client/Session.h"
#include "Utility/AsciiCase.h"

namespace {

// 1 for "Shift_JIS" in any letter case (the whole text), 2 for anything else; a null
// name is no encoding name.
int EncodingMode(const char* encoding)
{
    if (encoding != nullptr && Orvane::Utility::detail::AsciiEqualsIgnoreCase(encoding, "Shift_JIS")) {
        return 1;
    }
    return 2;
}

} // namespace

extern "C" {

ORVANE_EXPORT Orvane::Session* CreateSession()
{
    return CreateSession2("UTF-8");
}

ORVANE_EXPORT Orvane::Session* CreateSession2(const char* encoding)
{
    return new Orvane::Client::Session(EncodingMode(encoding));
}

ORVANE_EXPORT Orvane::Recognizer* CreateRecognizer()
{
    return nullptr;
}

ORVANE_EXPORT Orvane::Recognizer* CreateRecognizer2()
{
    return nullptr;
}

} // extern "C"
