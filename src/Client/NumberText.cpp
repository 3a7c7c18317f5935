#include "Client/NumberText.h"

#include <charconv>
#include <system_error>
#include <typeinfo>

#include <boost/lexical_cast/bad_lexical_cast.hpp>

namespace Orvane {
namespace Client {
namespace detail {
namespace {

template <typename T>
[[noreturn]] void Fail()
{
    throw boost::bad_lexical_cast(typeid(std::string), typeid(T));
}

// from_chars takes a sign only as "-"; a "+" in front of a digit or point is dropped here.
template <typename T>
T Read(const std::string& text)
{
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+') {
        ++first;
        if (first == last || *first == '-' || *first == '+') {
            Fail<T>();
        }
    }
    T value{};
    const std::from_chars_result result = std::from_chars(first, last, value);
    if (result.ec != std::errc() || result.ptr != last || first == last) {
        Fail<T>();
    }
    return value;
}

} // namespace

double ReadDouble(const std::string& text) { return Read<double>(text); }

int ReadInt(const std::string& text) { return Read<int>(text); }

bool ReadSuccess(const std::string& text)
{
    if (text == "1" || text == "+1") {
        return true;
    }
    if (text == "0" || text == "+0" || text == "-0") {
        return false;
    }
    Fail<bool>();
}

} // namespace detail
} // namespace Client
} // namespace Orvane
