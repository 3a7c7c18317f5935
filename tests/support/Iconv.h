#pragma once

#include <iconv.h>

#include <stdexcept>
#include <string>

namespace Orvane {
namespace Test {

// A conversion descriptor of iconv(3), the reference that the converter is measured and
// compared against.
class Iconv {
public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from))
    {
        if (cd_ == reinterpret_cast<iconv_t>(-1)) {
            throw std::runtime_error(std::string("iconv_open ") + from + " -> " + to);
        }
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    ~Iconv() { iconv_close(cd_); }

    // Converts all of `in` into `out`; false when iconv rejects any of it.
    bool Convert(const std::string& in, std::string& out)
    {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        out.resize(in.size() * 4 + 16);
        char* inPtr = const_cast<char*>(in.data());
        std::size_t inLeft = in.size();
        char* outPtr = &out[0];
        std::size_t outLeft = out.size();
        const std::size_t result = iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
        out.resize(out.size() - outLeft);
        return result != static_cast<std::size_t>(-1) && inLeft == 0;
    }

private:
    iconv_t cd_;
};

} // namespace Test
} // namespace Orvane
