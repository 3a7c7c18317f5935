#include "ivelmo.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "yuyv_to_bgr.h"

namespace {

constexpr int kFailure = -1;
constexpr uint32_t kBmpHeaderSize = 54;

// A file opened for binary writing; write and close failures are reported and make
// the writer fail. Closes silently if still open when it goes out of scope.
class OutputFile {
public:
    explicit OutputFile(const char* path) : file_(path != nullptr ? std::fopen(path, "wb") : nullptr)
    {
        if (file_ == nullptr && path != nullptr) {
            errno_exit("fopen");
        }
    }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    ~OutputFile()
    {
        if (file_ != nullptr) {
            std::fclose(file_);
        }
    }

    bool IsOpen() const { return file_ != nullptr; }

    bool Write(const void* data, size_t size)
    {
        if (ok_ && size > 0 && std::fwrite(data, 1, size, file_) != size) {
            errno_exit("fwrite");
            ok_ = false;
        }
        return ok_;
    }

    // Closes the file; true when every write and the close succeeded.
    bool Close()
    {
        const int result = std::fclose(file_);
        file_ = nullptr;
        // A write failure has been reported already; report the close only on its own.
        if (result != 0 && ok_) {
            errno_exit("fclose");
            ok_ = false;
        }
        return ok_;
    }

private:
    FILE* file_;
    bool ok_ = true;
};

// A YUYV frame of width x height fits when the width is even and positive, the
// height is not negative and its width x height x 2 bytes lie within length.
bool FrameFits(int length, int width, int height)
{
    if (length < 0 || width <= 0 || (width & 1) != 0 || height < 0) {
        return false;
    }
    const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    // pixels x 3 is the BGR size; it must also fit the int results.
    return pixels * 2 <= static_cast<uint64_t>(length) && pixels * 3 <= static_cast<uint64_t>(INT_MAX);
}

// Writes the bytes of every pair in swapped order (an odd last byte stays as it is).
void SwapPairs(const uint8_t* source, uint8_t* destination, size_t length)
{
    for (size_t i = 0; i + 1 < length; i += 2) {
        const uint8_t first = source[i];
        destination[i] = source[i + 1];
        destination[i + 1] = first;
    }
    if ((length & 1) != 0) {
        destination[length - 1] = source[length - 1];
    }
}

// Copies every second byte from offset 0 (the luma samples of YUYV).
void CopyLuma(const uint8_t* source, uint8_t* destination, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        destination[i] = source[i * 2];
    }
}

void PutLittleEndian(uint8_t* at, uint32_t value, int size)
{
    for (int i = 0; i < size; ++i) {
        at[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

// The 54-byte BMP header for bottom-up 24-bit rows of rowSize bytes each.
void MakeBmpHeader(uint8_t* header, int width, int height, uint32_t rowSize)
{
    const uint32_t imageSize = rowSize * static_cast<uint32_t>(height);
    std::memset(header, 0, kBmpHeaderSize);
    header[0] = 'B';
    header[1] = 'M';
    PutLittleEndian(header + 2, imageSize + kBmpHeaderSize, 4);
    PutLittleEndian(header + 10, kBmpHeaderSize, 4);
    PutLittleEndian(header + 14, 40, 4);
    PutLittleEndian(header + 18, static_cast<uint32_t>(width), 4);
    PutLittleEndian(header + 22, static_cast<uint32_t>(height), 4);
    PutLittleEndian(header + 26, 1, 2);
    PutLittleEndian(header + 28, 24, 2);
    PutLittleEndian(header + 34, imageSize, 4);
}

// A heap row buffer, zero-filled so that BMP row padding is written as zeros.
class RowBuffer {
public:
    explicit RowBuffer(size_t size) : data_(static_cast<uint8_t*>(std::calloc(size > 0 ? size : 1, 1)))
    {
        if (data_ == nullptr) {
            errno_exit("calloc");
        }
    }
    RowBuffer(const RowBuffer&) = delete;
    RowBuffer& operator=(const RowBuffer&) = delete;
    ~RowBuffer() { std::free(data_); }
    uint8_t* Get() const { return data_; }

private:
    uint8_t* data_;
};

} // namespace

extern "C" {

IVELMO_EXPORT int process_image_YUYV(void* data, int length, const char* path)
{
    if (data == nullptr || length < 0 || path == nullptr) {
        return kFailure;
    }
    OutputFile file(path);
    if (!file.IsOpen()) {
        return kFailure;
    }
    auto* bytes = static_cast<uint8_t*>(data);
    SwapPairs(bytes, bytes, static_cast<size_t>(length));
    file.Write(bytes, static_cast<size_t>(length));
    return file.Close() ? length : kFailure;
}

IVELMO_EXPORT int process_image_JPEG(const void* data, int length, const char* path)
{
    if (data == nullptr || length < 0 || path == nullptr) {
        return kFailure;
    }
    OutputFile file(path);
    if (!file.IsOpen()) {
        return kFailure;
    }
    file.Write(data, static_cast<size_t>(length));
    return file.Close() ? length : kFailure;
}

IVELMO_EXPORT int process_image_BMP(const void* data, int length, int width, int height, const char* path)
{
    if (data == nullptr || path == nullptr || !FrameFits(length, width, height)) {
        return kFailure;
    }
    // Rows are padded to a multiple of 4 bytes, as every BMP reader expects.
    const size_t pixelBytes = static_cast<size_t>(width) * 3;
    const size_t rowSize = (pixelBytes + 3) & ~static_cast<size_t>(3);
    RowBuffer row(rowSize);
    if (row.Get() == nullptr) {
        return kFailure;
    }
    OutputFile file(path);
    if (!file.IsOpen()) {
        return kFailure;
    }
    uint8_t header[kBmpHeaderSize];
    MakeBmpHeader(header, width, height, static_cast<uint32_t>(rowSize));
    file.Write(header, sizeof header);
    const auto* frame = static_cast<const uint8_t*>(data);
    const size_t stride = static_cast<size_t>(width) * 2;
    for (int y = height - 1; y >= 0; --y) {
        ivelmo::detail::ConvertYuyvToBgr(frame + static_cast<size_t>(y) * stride, row.Get(), static_cast<size_t>(width) / 2);
        if (!file.Write(row.Get(), rowSize)) {
            break;
        }
    }
    return file.Close() ? length : kFailure;
}

IVELMO_EXPORT int process_image_PGM(const void* data, int length, int width, int height, const char* path)
{
    if (data == nullptr || path == nullptr || !FrameFits(length, width, height)) {
        return kFailure;
    }
    RowBuffer row(static_cast<size_t>(width));
    if (row.Get() == nullptr) {
        return kFailure;
    }
    OutputFile file(path);
    if (!file.IsOpen()) {
        return kFailure;
    }
    char header[96];
    const int headerSize = std::snprintf(header, sizeof header, "P5\n# Created by libivelmo\n%d %d\n255\n", width, height);
    file.Write(header, static_cast<size_t>(headerSize));
    const auto* frame = static_cast<const uint8_t*>(data);
    const size_t stride = static_cast<size_t>(width) * 2;
    for (int y = 0; y < height; ++y) {
        CopyLuma(frame + static_cast<size_t>(y) * stride, row.Get(), static_cast<size_t>(width));
        if (!file.Write(row.Get(), static_cast<size_t>(width))) {
            break;
        }
    }
    return file.Close() ? length : kFailure;
}

IVELMO_EXPORT int process_image_buffer_YUYV(const void* data, int length, void* destination)
{
    if (data == nullptr || destination == nullptr || length < 0) {
        return kFailure;
    }
    SwapPairs(static_cast<const uint8_t*>(data), static_cast<uint8_t*>(destination), static_cast<size_t>(length));
    return length;
}

IVELMO_EXPORT int process_image_buffer_JPG(const void* data, int length, void* destination)
{
    if (data == nullptr || destination == nullptr || length < 0) {
        return kFailure;
    }
    std::memcpy(destination, data, static_cast<size_t>(length));
    return length;
}

IVELMO_EXPORT int process_image_buffer_BMP(const void* data, int length, int width, int height, void* destination)
{
    if (data == nullptr || destination == nullptr || !FrameFits(length, width, height)) {
        return kFailure;
    }
    const size_t pairs = static_cast<size_t>(width) / 2 * static_cast<size_t>(height);
    ivelmo::detail::ConvertYuyvToBgr(static_cast<const uint8_t*>(data), static_cast<uint8_t*>(destination), pairs);
    return static_cast<int>(pairs * 6);
}

IVELMO_EXPORT int process_image_buffer_PGM(const void* data, int length, int /*width*/, int /*height*/,
                                           void* destination)
{
    if (data == nullptr || destination == nullptr) {
        return kFailure;
    }
    if (length <= 0) {
        return 0;
    }
    const size_t count = (static_cast<size_t>(length) + 1) / 2;
    CopyLuma(static_cast<const uint8_t*>(data), static_cast<uint8_t*>(destination), count);
    return static_cast<int>(count);
}

} // extern "C"
