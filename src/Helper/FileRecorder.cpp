#include "Helper/FileRecorder.h"

#include <cerrno>
#include <system_error>

#include <boost/chrono/duration.hpp>
#include <boost/chrono/system_clocks.hpp>
#include <boost/thread/thread.hpp>

#include "Helper/Error.h"

namespace Orvane {
namespace Helper {

FileRecorder::FileRecorder(int encoding, int samplingRate, int readPeriod, int samplesPerRead,
                           const std::string& path)
    : VoiceRecorder(encoding, samplingRate, readPeriod, samplesPerRead), path_(path)
{
}

void FileRecorder::OnStart()
{
    errno = 0;
    stream_.open(path_.c_str(), std::ios::in | std::ios::binary);
    if (!stream_.is_open()) {
        const int cause = errno;
        throw Error::Internal(GetEncoding(), "ファイルのオープンに失敗しました。[" + path_ + "]" +
                                                 (cause != 0 ? " 原因=[" + std::generic_category().message(cause) + "]" : ""));
    }
}

unsigned int FileRecorder::OnRead(boost::shared_ptr<DataBuffer> block)
{
    if (!block) {
        return 0;
    }
    // Whole samples only.
    const std::streamsize wanted = static_cast<std::streamsize>(block->GetSize() & ~1u);
    stream_.read(block->GetData(), wanted);
    if (stream_.bad()) {
        throw Error::Internal(GetEncoding(), "ファイルの読み込みに失敗しました。[" + path_ + "]");
    }
    if (wanted == 0 || stream_.gcount() < wanted) {
        return 0;
    }
    // An interruption point: a stop ends the wait.
    boost::this_thread::sleep_until(boost::chrono::steady_clock::now() + boost::chrono::milliseconds(GetReadPeriod()));
    return static_cast<unsigned int>(wanted / 2);
}

void FileRecorder::OnStop()
{
    if (stream_.is_open()) {
        stream_.close();
    }
}

} // namespace Helper
} // namespace Orvane
