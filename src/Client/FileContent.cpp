#include "Client/FileContent.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>

#include <boost/filesystem/operations.hpp>

#include "Client/Error.h"
#include "Utility/AsciiCase.h"
#include "Utility/Log/ApplicationLoggerManager.h"

namespace Orvane {
namespace Client {
namespace {

// Counts sent to the server are 32-bit.
const std::uintmax_t kSizeLimit = std::uintmax_t(1) << 32;
const std::size_t kReadPiece = 1024;

const char* const kEmpty = "指定されたファイルのサイズが０バイトです。";
const char* const kBadFormat = "指定されたwavファイルの形式が不正です。";

Exception* OpenFailed(const std::string& file)
{
    ORVANE_LOG(3, "ファイルのオープンに失敗しました。file=%1%", file);
    return Error::Internal("ファイルのオープンに失敗しました。" + file);
}

Exception* ReadFailed(const std::string& file)
{
    ORVANE_LOG(3, "ファイルの読み込みに失敗しました。file=%1%", file);
    return Error::Internal("ファイルの読み込みに失敗しました。" + file);
}

Exception* Empty(const std::string& file)
{
    ORVANE_LOG(3, kEmpty);
    return Error::Internal(kEmpty + file);
}

Exception* TooLarge(const std::string& file)
{
    const char* const text = "指定されたファイルのサイズが上限を超えています。";
    ORVANE_LOG(3, text);
    return Error::Internal(text + file);
}

Exception* BadFormat()
{
    ORVANE_LOG(3, kBadFormat);
    return Error::Internal(kBadFormat);
}

// The size of a regular file; false for anything else or when it cannot be had.
bool RegularFileSize(const std::string& file, std::uintmax_t& size)
{
    boost::system::error_code error;
    if (!boost::filesystem::is_regular_file(file, error) || error) {
        return false;
    }
    size = boost::filesystem::file_size(file, error);
    return !error;
}

// The extension of the last path element from its last ".", ASCII letters lower-cased.
std::string Extension(const std::string& file)
{
    const std::string::size_type slash = file.rfind('/');
    const std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
    const std::string::size_type dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : Utility::detail::AsciiLower(name.substr(dot));
}

std::uint32_t Little32(const unsigned char* bytes)
{
    return std::uint32_t(bytes[0]) | std::uint32_t(bytes[1]) << 8 | std::uint32_t(bytes[2]) << 16 |
           std::uint32_t(bytes[3]) << 24;
}

std::uint16_t Little16(const unsigned char* bytes) { return std::uint16_t(bytes[0] | bytes[1] << 8); }

// Mono 16-bit PCM at 16000 or 8000 Hz; the sizes other than the format chunk's are not read.
bool ValidWavHeader(const unsigned char* header)
{
    const std::uint32_t rate = Little32(header + 24);
    return std::memcmp(header, "RIFF", 4) == 0 && std::memcmp(header + 8, "WAVE", 4) == 0 &&
           std::memcmp(header + 12, "fmt ", 4) == 0 && Little32(header + 16) == 16 && Little16(header + 20) == 1 &&
           Little16(header + 22) == 1 && (rate == 16000 || rate == 8000) && Little16(header + 34) == 16 &&
           std::memcmp(header + 36, "data", 4) == 0;
}

} // namespace

void FileContent::ReadResource(const char* file, std::vector<char>& data)
{
    const std::string name(file);
    std::ifstream stream(name, std::ios::in | std::ios::binary);
    if (!stream.is_open()) {
        throw OpenFailed(name);
    }
    // The size from the file system, not the stream's count, which the kernel gives in 32 bits.
    std::uintmax_t size = 0;
    if (!RegularFileSize(name, size) || size == 0) {
        throw Empty(name);
    }
    if (size >= kSizeLimit) {
        throw TooLarge(name);
    }
    data.resize(static_cast<std::size_t>(size));
    stream.read(data.data(), static_cast<std::streamsize>(size));
    if (static_cast<std::uintmax_t>(stream.gcount()) != size) {
        throw ReadFailed(name);
    }
}

std::vector<char> FileContent::ReadSpeech(const char* file)
{
    const std::string name(file);
    std::ifstream stream(name, std::ios::in | std::ios::binary);
    if (!stream.is_open()) {
        throw OpenFailed(name);
    }
    std::uintmax_t size = 0;
    if (!RegularFileSize(name, size)) {
        ORVANE_LOG(3, "ファイルのサイズ取得に失敗しました。file=%1%", name);
        throw Error::Internal("ファイルのサイズ取得に失敗しました。" + name);
    }
    if (size >= kSizeLimit) {
        throw TooLarge(name);
    }
    std::uintmax_t payload = size;
    if (Extension(name) == ".wav") {
        if (size < WavHeaderSize) {
            throw Empty(name);
        }
        unsigned char header[WavHeaderSize];
        stream.read(reinterpret_cast<char*>(header), WavHeaderSize);
        if (stream.gcount() != WavHeaderSize) {
            throw ReadFailed(name);
        }
        if (!ValidWavHeader(header)) {
            throw BadFormat();
        }
        payload = size - WavHeaderSize;
    }
    if (payload % 2 != 0) {
        throw BadFormat();
    }
    std::vector<char> data(static_cast<std::size_t>(payload));
    std::size_t got = 0;
    while (got < data.size()) {
        stream.read(data.data() + got, static_cast<std::streamsize>(std::min(kReadPiece, data.size() - got)));
        const std::streamsize count = stream.gcount();
        if (count <= 0) {
            break;
        }
        got += static_cast<std::size_t>(count);
    }
    if (got != data.size()) {
        throw ReadFailed(name);
    }
    return data;
}

} // namespace Client
} // namespace Orvane
