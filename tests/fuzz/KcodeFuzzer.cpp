// The six conversions on arbitrary NUL-terminated text: no read past the terminator, no
// NUL written, and only the internal exception for malformed UTF-8. The replacing forms
// never throw, and a repaired text is well-formed UTF-8.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "Utility/Exception.h"
#include "Utility/Kcode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // An exact heap copy ending in its NUL, cut at the first NUL of the input.
    std::unique_ptr<char[]> text(new char[size + 1]);
    std::memcpy(text.get(), data, size);
    text[size] = '\0';
    const Orvane::Utility::Kcode& kcode = Orvane::Utility::Kcode::Instance();
    using Convert = int (Orvane::Utility::Kcode::*)(const char*, std::string&) const;
    const Convert conversions[] = {&Orvane::Utility::Kcode::EucToUtf8, &Orvane::Utility::Kcode::EucToSjis,
                                   &Orvane::Utility::Kcode::SjisToUtf8, &Orvane::Utility::Kcode::SjisToEuc};
    std::string out;
    for (Convert convert : conversions) {
        if ((kcode.*convert)(text.get(), out) < 0 || out.find('\0') != std::string::npos) {
            std::abort();
        }
    }
    for (int column : {1, 2}) {
        try {
            if (kcode.Utf8ToXxx(text.get(), out, column) < 0) {
                std::abort();
            }
        } catch (const Orvane::Utility::Exception&) {
        }
        if (out.find('\0') != std::string::npos) {
            std::abort();
        }
    }
    if (kcode.Utf8ToSjisReplacing(text.get(), out) < 0 || out.find('\0') != std::string::npos) {
        std::abort();
    }
    std::string repaired;
    if (kcode.RepairUtf8(text.get(), repaired) < 0 || repaired.find('\0') != std::string::npos) {
        std::abort();
    }
    try {
        kcode.Utf8ToXxx(repaired.c_str(), out, 1);
    } catch (const Orvane::Utility::Exception&) {
        std::abort();
    }
    return 0;
}
