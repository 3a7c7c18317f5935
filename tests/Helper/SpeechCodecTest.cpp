#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>
#include <opus/opus.h>

#include "Helper/DataBuffer.h"
#include "Helper/EncoderFilter.h"
#include "Helper/VoiceBuffer.h"
#include "Utility/Exception.h"
#include "Utility/SpeechCodec/Builder.h"
#include "Utility/SpeechCodec/OpusAudioEncoder.h"
#include "support/AudioFixture.h"
#include "support/SignalTools.h"
#include "support/OggOpusWriter.h"
#include "support/TemporaryDirectory.h"

namespace {

using Orvane::Helper::DataBuffer;
using Orvane::Helper::EncoderFilter;
using Orvane::Test::SignalTools;
using Orvane::Utility::SpeechCodec::Buffer;
using Orvane::Utility::SpeechCodec::Builder;
using Orvane::Utility::SpeechCodec::OpusAudioEncoder;
using Block = boost::shared_ptr<DataBuffer>;

// Waveform SNR of the decoded audio against the input, measured with espeak-ng 1.51
// (voice en-us), sox 14.4.2, libopus 1.3.1 and opus-tools 0.2: speech 18.3 dB, a 440-Hz
// sine 36.6 dB, and 10.0 dB for opusdec, which decodes at 48 kHz and resamples (a
// fractional delay). The thresholds leave about 3 dB of margin.
const double SpeechSnrDb = 15.0;
const double SineSnrDb = 33.0;
const double OpusdecSnrDb = 8.0;

uint32_t BigEndian(const unsigned char* bytes)
{
    return (uint32_t(bytes[0]) << 24) | (uint32_t(bytes[1]) << 16) | (uint32_t(bytes[2]) << 8) | bytes[3];
}

std::vector<int16_t> Speech(const std::string& text)
{
    return Orvane::Test::Speak(text, Orvane::Test::Voice{"en-us", 160, 50});
}

// One encoded record taken apart.
struct Record {
    uint32_t length = 0;
    uint32_t finalRange = 0;
    std::string packets;
};

Record Parse(const unsigned char* bytes, std::size_t size)
{
    EXPECT_GE(size, 8u);
    Record record;
    record.length = BigEndian(bytes);
    record.finalRange = BigEndian(bytes + 4);
    record.packets.assign(reinterpret_cast<const char*>(bytes) + 8, size - 8);
    EXPECT_EQ(record.length, record.packets.size());
    return record;
}

Record Parse(const Buffer& buffer) { return Parse(buffer.GetData(), buffer.GetSize()); }

Record Parse(const DataBuffer& block)
{
    return Parse(reinterpret_cast<const unsigned char*>(block.GetData()), block.GetSize());
}

// An encoder with the product's settings, driven with bare opus_encode calls.
class ReferenceEncoder {
public:
    ReferenceEncoder()
    {
        int error = 0;
        state_ = opus_encoder_create(16000, 1, OPUS_APPLICATION_AUDIO, &error);
        opus_encoder_ctl(state_, OPUS_SET_BITRATE(24000));
        opus_encoder_ctl(state_, OPUS_SET_BANDWIDTH(OPUS_BANDWIDTH_WIDEBAND));
        opus_encoder_ctl(state_, OPUS_SET_VBR(1));
        opus_encoder_ctl(state_, OPUS_SET_LSB_DEPTH(16));
    }
    ~ReferenceEncoder() { opus_encoder_destroy(state_); }

    std::string Encode(std::vector<opus_int16> frame)
    {
        frame.resize(320, 0);
        unsigned char packet[4000];
        const int length = opus_encode(state_, frame.data(), 320, packet, sizeof(packet));
        return std::string(reinterpret_cast<char*>(packet), length > 0 ? length : 0);
    }
    uint32_t FinalRange()
    {
        opus_uint32 range = 0;
        opus_encoder_ctl(state_, OPUS_GET_FINAL_RANGE(&range));
        return range;
    }
    int Lookahead()
    {
        opus_int32 lookahead = 0;
        opus_encoder_ctl(state_, OPUS_GET_LOOKAHEAD(&lookahead));
        return lookahead;
    }

private:
    OpusEncoder* state_ = nullptr;
};

class Decoder {
public:
    Decoder()
    {
        int error = 0;
        state_ = opus_decoder_create(16000, 1, &error);
    }
    ~Decoder() { opus_decoder_destroy(state_); }

    // Decodes one packet; returns the number of samples it gave.
    int Decode(const std::string& packet, std::vector<int16_t>& out)
    {
        opus_int16 pcm[5760];
        const int samples = opus_decode(state_, reinterpret_cast<const unsigned char*>(packet.data()),
                                        static_cast<opus_int32>(packet.size()), pcm, 5760, 0);
        if (samples > 0) {
            out.insert(out.end(), pcm, pcm + samples);
        }
        return samples;
    }
    uint32_t FinalRange()
    {
        opus_uint32 range = 0;
        opus_decoder_ctl(state_, OPUS_GET_FINAL_RANGE(&range));
        return range;
    }

private:
    OpusDecoder* state_ = nullptr;
};

class BlockSink : public Orvane::Helper::VoiceFilterListener {
public:
    void OnFilterOutput(Block block) override { blocks.push_back(block); }
    std::vector<Block> blocks;
};

class ErrorSink : public Orvane::Helper::VoiceFilterErrorListener {
public:
    void OnVoiceFilterError(Orvane::Exception* error) override
    {
        numbers.push_back(error->GetErrorNo());
        messages.push_back(error->GetErrorMessage());
        error->Release();
    }
    std::vector<int> numbers;
    std::vector<std::string> messages;
};

Block ToBlock(const int16_t* samples, std::size_t count)
{
    Block block(new DataBuffer(static_cast<uint32_t>(count * 2)));
    std::memcpy(block->GetData(), samples, count * 2);
    return block;
}

// Runs `samples` through a started Opus encoder filter in 640-byte blocks.
std::vector<Block> EncodeThroughFilter(const std::vector<int16_t>& samples)
{
    EncoderFilter filter("opus", 16000.0);
    BlockSink sink;
    filter.SetOutputListener(&sink);
    filter.Start();
    for (std::size_t first = 0; first + 320 <= samples.size(); first += 320) {
        filter.Add(ToBlock(samples.data() + first, 320));
    }
    filter.OnStop(false);
    return sink.blocks;
}

// Decodes every record, checking each packet against its header; returns the audio.
std::vector<int16_t> DecodeRecords(const std::vector<Block>& records, std::vector<std::string>* packets = nullptr)
{
    Decoder decoder;
    std::vector<int16_t> decoded;
    for (std::size_t i = 0; i < records.size(); ++i) {
        SCOPED_TRACE(i);
        const Record record = Parse(*records[i]);
        EXPECT_EQ(320, decoder.Decode(record.packets, decoded)) << "every packet is one 20-ms frame";
        EXPECT_EQ(record.finalRange, decoder.FinalRange());
        if (packets) {
            packets->push_back(record.packets);
        }
    }
    return decoded;
}

TEST(SpeechCodecBuilderTest, EveryFailureIsErrorSevenWithItsCause)
{
    const std::string frame = "エンコーダの作成に失敗しました．対象=[";
    struct Case {
        std::string codec;
        double frequency;
        std::string cause;
    };
    const Case cases[] = {
        {"Opus#x", 16000.0, "モードの指定が不正です．値=[x]"},
        {"Opus", 8000.0, "サンプリング周波数の指定が不正です．値=[8000]"},
        {"Speex", 16000.0, "エンコードモジュールで未サポートのコーデック[Speex]です．"},
        {"sPEEX", 16000.0, "エンコードモジュールで未サポートのコーデック[sPEEX]です．"},
        {"g722#1", 16000.0, "エンコードモジュールで未サポートのコーデック[g722]です．"},
        {"mp3", 16000.0, "規定外のコーデック名が指定されました.コーデック名=[mp3]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.codec);
        try {
            Builder::CreateEncoder(c.codec, c.frequency);
            ADD_FAILURE() << "no error";
        } catch (const Orvane::Utility::Exception& e) {
            EXPECT_STREQ("Orvane::Utility::SpeechCodec", e.GetType());
            EXPECT_EQ(7, e.GetErrorNo());
            std::ostringstream frequency;
            frequency << c.frequency;
            EXPECT_EQ(frame + c.codec + "] サンプリング周波数[" + frequency.str() + "] 原因=[" + c.cause + "]",
                      e.GetErrorMessage());
        }
    }
    for (const char* name : {"opus", "Opus", "OPUS"}) {
        EXPECT_TRUE(Builder::CreateEncoder(name, 16000.0)) << name;
    }
}

TEST(OpusAudioEncoderTest, RecordsMatchBareOpusEncodeFrameByFrame)
{
    const std::vector<int16_t> sine = SignalTools::Sine(440.0, 8000.0, 16000);
    OpusAudioEncoder encoder;
    ReferenceEncoder reference;
    struct Case {
        const char* name;
        std::size_t samples;
        std::size_t frames;
    };
    // Taken in order from the running sine: the Opus state runs on across calls.
    const Case cases[] = {
        {"one frame", 320, 1},
        {"two frames", 640, 2},
        {"empty", 0, 0},
        {"partial last frame, zero-padded", 350, 2},
        {"less than a frame", 100, 1},
    };
    std::size_t position = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Exactly the input's bytes: reading past them is caught by AddressSanitizer.
        const char* first = reinterpret_cast<const char*>(sine.data() + position);
        const std::vector<char> input(first, first + c.samples * 2);
        const Record record = Parse(*encoder.Encode(input.data(), static_cast<unsigned int>(input.size())));

        std::string expected;
        for (std::size_t frame = 0; frame < c.frames; ++frame) {
            const std::size_t first = position + frame * 320;
            const std::size_t count = std::min<std::size_t>(320, position + c.samples - first);
            expected += reference.Encode(std::vector<opus_int16>(sine.begin() + first, sine.begin() + first + count));
        }
        EXPECT_EQ(expected.size(), record.length);
        EXPECT_EQ(expected, record.packets);
        EXPECT_EQ(reference.FinalRange(), record.finalRange);
        position += c.samples;
    }
}

TEST(OpusAudioEncoderTest, OddByteCountEncodesWholeSamplesOnly)
{
    const std::vector<int16_t> sine = SignalTools::Sine(300.0, 5000.0, 320);
    std::vector<char> input(641);
    std::memcpy(input.data(), sine.data(), 640);
    OpusAudioEncoder encoder;
    ReferenceEncoder reference;
    const Record record = Parse(*encoder.Encode(input.data(), 641));
    EXPECT_EQ(reference.Encode(sine), record.packets);
}

// An encoder whose frames fail from the second one on.
class FailingEncoder : public OpusAudioEncoder {
protected:
    int EncodeFrame(const opus_int16* frame, unsigned char* packet, int capacity) override
    {
        if (++frames_ > 1) {
            return OPUS_INTERNAL_ERROR;
        }
        return OpusAudioEncoder::EncodeFrame(frame, packet, capacity);
    }

private:
    int frames_ = 0;
};

class FailingEncoderFilter : public EncoderFilter {
public:
    FailingEncoderFilter() : EncoderFilter("opus", 16000.0) {}

protected:
    boost::shared_ptr<Orvane::Utility::SpeechCodec::Encoder> CreateEncoder() override
    {
        return boost::make_shared<FailingEncoder>();
    }
};

// A failed opus_encode added its negative result to the record's length.
TEST(EncoderFilterTest, FailedEncodeIsReportedAndPassesNothingOn)
{
    FailingEncoder encoder;
    std::vector<char> two(1280, 0);
    try {
        encoder.Encode(two.data(), 1280);
        ADD_FAILURE() << "no error";
    } catch (const Orvane::Utility::Exception& e) {
        EXPECT_EQ(10, e.GetErrorNo());
        EXPECT_EQ(std::string("エンコードに失敗しました．原因=[") + opus_strerror(OPUS_INTERNAL_ERROR) + "]",
                  e.GetErrorMessage());
    }

    FailingEncoderFilter filter;
    BlockSink sink;
    ErrorSink errors;
    filter.SetOutputListener(&sink);
    filter.SetErrorListener(&errors);
    filter.Start();
    const std::vector<int16_t> sine = SignalTools::Sine(440.0, 8000.0, 960);
    for (int i = 0; i < 3; ++i) {
        filter.Add(ToBlock(sine.data() + i * 320, 320));
    }
    ASSERT_EQ(1u, sink.blocks.size()) << "only the good block is passed on";
    EXPECT_EQ(Parse(*sink.blocks[0]).length + 8, sink.blocks[0]->GetSize());
    ASSERT_EQ(1u, errors.numbers.size()) << "later blocks are dropped after the error";
    EXPECT_EQ(7000, errors.numbers[0]);
    EXPECT_EQ(0u, errors.messages[0].find("内部エラーが発生しました。詳細=エンコードに失敗しました．"));
}

TEST(EncoderFilterTest, StatusCodecAndStop)
{
    EncoderFilter pcm("PCM", 16000.0);
    BlockSink pcmSink;
    pcm.SetOutputListener(&pcmSink);
    pcm.Start();
    EXPECT_EQ(EncoderFilter::Built, pcm.GetStatus());
    pcm.Add(boost::make_shared<DataBuffer>(640));
    EXPECT_TRUE(pcmSink.blocks.empty()) << "pcm creates no encoder and passes nothing on";

    EncoderFilter opus("opus", 16000.0);
    BlockSink sink;
    opus.SetOutputListener(&sink);
    opus.Start();
    EXPECT_EQ(EncoderFilter::Ready, opus.GetStatus());
    opus.Add(boost::make_shared<DataBuffer>(640));
    EXPECT_EQ(1u, sink.blocks.size());
    opus.OnStop(false);
    opus.SetState(Orvane::Helper::VoiceFilter::Stopped);
    opus.Add(boost::make_shared<DataBuffer>(640));
    EXPECT_EQ(1u, sink.blocks.size()) << "nothing after the stop";

    Orvane::Helper::VoiceBuffer buffer(2);
    buffer.AppendFilter(boost::make_shared<EncoderFilter>("opus#2", 16000.0));
    try {
        buffer.Start();
        ADD_FAILURE() << "no error";
    } catch (const Orvane::Utility::Exception& e) {
        EXPECT_EQ(7, e.GetErrorNo());
    }
    EXPECT_EQ(Orvane::Helper::VoiceBuffer::Stopped, buffer.GetState());
}

TEST(EncoderFilterTest, SpeechAndSineDecodeBackToTheInput)
{
    const int lookahead = ReferenceEncoder().Lookahead();
    struct Case {
        const char* name;
        std::vector<int16_t> samples;
        double minimumSnrDb;
    };
    const Case cases[] = {
        {"speech", Speech("The quick brown fox jumps over the lazy dog."), SpeechSnrDb},
        {"sine", SignalTools::Sine(440.0, 8000.0, 32000), SineSnrDb},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_GT(c.samples.size(), 16000u) << "espeak-ng or sox failed";
        const std::vector<Block> records = EncodeThroughFilter(c.samples);
        ASSERT_EQ(c.samples.size() / 320, records.size()) << "one record per block";
        const std::vector<int16_t> decoded = DecodeRecords(records);
        const double snr = SignalTools::SnrDb(c.samples, decoded, static_cast<std::size_t>(lookahead));
        ::testing::Test::RecordProperty(std::string(c.name) + "_snr_db", std::to_string(snr));
        EXPECT_GE(snr, c.minimumSnrDb);
    }
}

std::vector<uint32_t> SavedRanges(const std::string& path)
{
    std::vector<uint32_t> ranges;
    std::ifstream in(path.c_str());
    std::string line;
    while (std::getline(in, line)) {
        const std::string::size_type comma = line.rfind(',');
        const std::string::size_type end = line.rfind(']');
        if (comma != std::string::npos && end != std::string::npos && end > comma) {
            ranges.push_back(static_cast<uint32_t>(std::stoul(line.substr(comma + 1, end - comma - 1))));
        }
    }
    return ranges;
}

TEST(EncoderFilterTest, StreamPlaysInOpusdec)
{
    const std::vector<int16_t> speech = Speech("Recognition starts when the speech ends.");
    ASSERT_GT(speech.size(), 16000u) << "espeak-ng or sox failed";
    const std::vector<Block> records = EncodeThroughFilter(speech);
    std::vector<std::string> packets;
    const std::vector<int16_t> decoded = DecodeRecords(records, &packets);
    const int lookahead = ReferenceEncoder().Lookahead();

    Orvane::Test::TemporaryDirectory directory;
    const std::string opus = directory.File("speech.opus");
    ASSERT_TRUE(Orvane::Test::OggOpusWriter::WriteFile(opus, packets, lookahead * 3));
    const std::string raw = directory.File("speech.raw");
    const std::string ranges = directory.File("ranges.txt");
    ASSERT_TRUE(SignalTools::Run("opusdec --quiet --rate 16000 --no-dither --save-range '" + ranges + "' '" + opus +
                                  "' '" + raw + "' >/dev/null 2>&1"));

    std::ifstream in(raw.c_str(), std::ios::binary);
    const std::vector<int16_t> played =
        SignalTools::ToSamples(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()));
    EXPECT_EQ(packets.size() * 320 - lookahead, played.size()) << "the pre-skip is the encoder's look-ahead";
    const double snr = SignalTools::SnrDb(speech, played, 0);
    ::testing::Test::RecordProperty("snr_db", std::to_string(snr));
    EXPECT_GE(snr, OpusdecSnrDb);

    std::vector<uint32_t> expected;
    for (const Block& record : records) {
        expected.push_back(Parse(*record).finalRange);
    }
    EXPECT_EQ(expected, SavedRanges(ranges)) << "opusdec's final ranges are the records'";
}

} // namespace
