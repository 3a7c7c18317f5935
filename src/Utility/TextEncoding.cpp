#include "Orvane/Utility/TextEncoding.h"

#include "Utility/Kcode.h"

namespace Orvane {
namespace Utility {

namespace {

// The returning forms start from an empty text and drop the count.
template <int (*Convert)(const char*, std::string&)>
std::string Returning(const char* in)
{
    std::string out;
    Convert(in, out);
    return out;
}

} // namespace

int Utf8ToSjis(const char* in, std::string& out) { return Kcode::Instance().Utf8ToXxx(in, out, 1); }
int Utf8ToEuc(const char* in, std::string& out) { return Kcode::Instance().Utf8ToXxx(in, out, 2); }
int SjisToUtf8(const char* in, std::string& out) { return Kcode::Instance().SjisToUtf8(in, out); }
int SjisToEuc(const char* in, std::string& out) { return Kcode::Instance().SjisToEuc(in, out); }
int EucToUtf8(const char* in, std::string& out) { return Kcode::Instance().EucToUtf8(in, out); }
int EucToSjis(const char* in, std::string& out) { return Kcode::Instance().EucToSjis(in, out); }

std::string Utf8ToSjis(const char* in) { return Returning<Utf8ToSjis>(in); }
std::string Utf8ToEuc(const char* in) { return Returning<Utf8ToEuc>(in); }
std::string SjisToUtf8(const char* in) { return Returning<SjisToUtf8>(in); }
std::string SjisToEuc(const char* in) { return Returning<SjisToEuc>(in); }
std::string EucToUtf8(const char* in) { return Returning<EucToUtf8>(in); }
std::string EucToSjis(const char* in) { return Returning<EucToSjis>(in); }

} // namespace Utility
} // namespace Orvane
