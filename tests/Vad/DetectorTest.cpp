#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <boost/filesystem.hpp>

#include "Utility/Exception.h"
#include "Vad/BoundaryFixture.h"
#include "Vad/Detector.h"

namespace {

using Orvane::Test::Samples;
using Orvane::Utility::Exception;
using Orvane::Utility::Vad::Detector;
using Orvane::Utility::Vad::VadBuffer;

// Files of one test in a directory of their own, removed afterwards.
class TempFiles {
public:
    TempFiles()
    {
        char pattern[] = "/tmp/detector-test-XXXXXX";
        const char* made = mkdtemp(pattern);
        dir_ = made != nullptr ? made : "/tmp";
    }
    ~TempFiles() { boost::filesystem::remove_all(dir_); }
    std::string Write(const std::string& name, const std::string& content)
    {
        const std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    // The committed configuration with `key=value` replacing or adding that key.
    std::string Config(const std::string& setting)
    {
        const std::string key = setting.substr(0, setting.find('='));
        std::ifstream in(Orvane::Test::ConfigPath());
        std::string content;
        for (std::string line; std::getline(in, line);) {
            if (line.compare(0, key.size() + 1, key + "=") != 0) {
                content += line + "\n";
            }
        }
        return Write("config" + std::to_string(++configs_) + ".ini", content + setting + "\n");
    }
    const std::string& Dir() const { return dir_; }

private:
    std::string dir_;
    int configs_ = 0;
};

struct Chunk {
    int status;
    Samples samples;
};

std::vector<Chunk> Feed(Detector& detector, const Samples& audio, std::size_t block, std::size_t from = 0)
{
    std::vector<Chunk> chunks;
    for (std::size_t at = from; at < audio.size(); at += block) {
        const std::size_t n = std::min(block, audio.size() - at);
        for (const auto& chunk : detector.Detect(reinterpret_cast<const char*>(audio.data() + at),
                                                 static_cast<unsigned>(n * 2))) {
            Chunk c{chunk->GetStatus(), Samples(chunk->Size() / 2)};
            if (chunk->Size() != 0) {
                std::memcpy(c.samples.data(), chunk->Data(), chunk->Size());
            }
            chunks.push_back(c);
        }
    }
    return chunks;
}

std::string Statuses(const std::vector<Chunk>& chunks)
{
    std::string out;
    for (const Chunk& c : chunks) {
        // Runs of status 3 are shown once.
        const char s = static_cast<char>('0' + c.status);
        if (!(s == '3' && !out.empty() && out.back() == '3')) {
            out += s;
        }
    }
    return out;
}

Samples Joined(const std::vector<Chunk>& chunks)
{
    Samples out;
    for (const Chunk& c : chunks) {
        out.insert(out.end(), c.samples.begin(), c.samples.end());
    }
    return out;
}

boost::shared_ptr<Detector> Make(bool continuous, const std::string& config = Orvane::Test::ConfigPath(),
                                 bool noiseReduction = false)
{
    return Detector::CreateDetector(0, noiseReduction, continuous, Orvane::Test::ModelPath(), config);
}

TEST(Detector, CreationErrors)
{
    TempFiles files;
    const std::string model = Orvane::Test::ModelPath();
    const std::string empty = files.Write("empty", "");
    const std::string noSection = files.Write("nosection.ini", "[Other]\nVAD:Threshold=1.0\n");
    const std::string broken = files.Write("broken.ini", "[Environment]\nVAD:Threshold\n");
    const std::string missing = files.Dir() + "/missing";
    struct Case {
        const char* name;
        int mode;
        std::string model;
        std::string config;
        int number;
        std::string message; // the whole message, or its start when `prefix`
        bool prefix;
    };
    const std::string cause = "Detectorの生成に失敗しました．原因=[";
    const Case cases[] = {
        {"missing model", 0, missing, "", 6, cause + "boost::filesystem::file_size", true},
        {"model is a directory", 0, files.Dir(), "", 6, cause, true},
        {"empty model", 0, empty, "", 2, "OSTRELファイルが空です．ファイル名=[" + empty + "]", false},
        {"missing configuration", 0, model, missing, 1, "OSTRELファイルが見つかりません．ファイル名=[" + missing + "]", false},
        {"no section Environment", 0, model, noSection, 6, cause + "No such node (Environment)]", false},
        {"syntax error", 0, model, broken, 6, cause, true},
        {"value out of rule", 0, model, files.Config("VAD:NumStream=3"), 6,
         cause + "-5 指定された設定値が条件と合致しない FILE:env_list.cpp LINE:", true},
        {"value that does not convert", 0, model, files.Config("SBM:MaxGap=many"), 6, cause, true},
        {"manager-only name", 0, model, files.Config("OH:ThGain=3"), 6, cause + "定義されていない環境変数が指定されました]",
         false},
        {"mode 4", 4, model, "", 6, cause + "-4 引数不正（範囲） FILE:SBM.cpp LINE:", true},
        {"negative mode", -1, model, "", 6, cause + "-4 引数不正（範囲） FILE:SBM.cpp LINE:", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            Detector::CreateDetector(c.mode, true, false, c.model, c.config);
            ADD_FAILURE() << "created";
        } catch (const Exception& e) {
            EXPECT_STREQ("Orvane::Utility::Vad", e.GetType());
            EXPECT_EQ(c.number, e.GetErrorNo());
            if (c.prefix) {
                EXPECT_EQ(0u, std::string(e.what()).find(c.message)) << e.what();
            } else {
                EXPECT_EQ(c.message, e.what());
            }
        }
    }
    // The configuration file is optional, and every preset mode is accepted.
    for (int mode = 0; mode < 4; ++mode) {
        EXPECT_NO_THROW(Detector::CreateDetector(mode, mode % 2 == 0, false, model, "")->ShowOstrelParameter());
    }
}

// Whatever fails below the detector arrives as its own error 9 with the cause's text.
TEST(Detector, DetectErrorsArriveAsItsOwn)
{
    TempFiles files;
    const Samples& audio = Orvane::Test::QuietSentence().audio;
    struct Case {
        const char* name;
        std::string model;
        std::string config;
        std::string cause;
    };
    const Case cases[] = {
        {"unusable model", files.Write("model", std::string(64, 'x')), "", "-12 "},
        {"vote that cannot be won", Orvane::Test::ModelPath(), files.Config("SBM:MajorityVotes=0"),
         "-4 引数不正（範囲） FILE:majority_mode.cpp LINE:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        boost::shared_ptr<Detector> detector = Detector::CreateDetector(0, false, false, c.model, c.config);
        try {
            detector->Detect(reinterpret_cast<const char*>(audio.data()), 6400);
            ADD_FAILURE() << "detected";
        } catch (const Exception& e) {
            EXPECT_EQ(9, e.GetErrorNo());
            EXPECT_EQ(0u, std::string(e.what()).find("OSTREL音声区間検出に失敗しました．原因=[" + c.cause)) << e.what();
        } catch (const std::exception& e) {
            ADD_FAILURE() << "escaped as another type: " << e.what();
        }
    }
    boost::shared_ptr<Detector> detector = Make(false);
    EXPECT_TRUE(detector->Detect(nullptr, 0).empty());
    try {
        detector->Detect(nullptr, 4);
        ADD_FAILURE() << "detected";
    } catch (const Exception& e) {
        EXPECT_EQ(9, e.GetErrorNo());
    }
}

TEST(Detector, StatusSequences)
{
    using namespace Orvane::Test;
    TempFiles files;
    const Burst& burst = QuietSentence();
    const Samples twice = Join({burst.audio, burst.audio});
    const std::string noTail = files.Config("SBM:TailMargin=0");
    struct Case {
        const char* name;
        bool continuous;
        std::string config;
        const Samples* audio;
        std::size_t block; // samples per call
        std::string statuses;
    };
    const Case cases[] = {
        // Start and end in one call: a single chunk, the utterance's last.
        {"whole utterance in one call", false, ConfigPath(), &burst.audio, burst.audio.size(), "4"},
        {"20 ms blocks", false, ConfigPath(), &burst.audio, 320, "234"},
        // Not continuous: nothing after the end, in the same call or later ones.
        {"two utterances in one call", false, ConfigPath(), &twice, twice.size(), "4"},
        {"two utterances, one kept", false, ConfigPath(), &twice, 320, "234"},
        {"two utterances, continuous", true, ConfigPath(), &twice, 320, "234234"},
        // With no tail every sample is handed out before the end is known: the end comes as
        // an empty last chunk, not with the next utterance's first samples.
        {"end after the last sample", true, noTail, &twice, 320, "234234"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        boost::shared_ptr<Detector> detector = Make(c.continuous, c.config);
        const std::vector<Chunk> chunks = Feed(*detector, *c.audio, c.block);
        EXPECT_EQ(c.statuses, Statuses(chunks));
        if (c.config == noTail && !chunks.empty()) {
            EXPECT_TRUE(chunks.back().samples.empty());
        }
        // The first utterance is one slice of the input around the sentence.
        Samples first;
        for (const Chunk& chunk : chunks) {
            first.insert(first.end(), chunk.samples.begin(), chunk.samples.end());
            if (chunk.status == 4) {
                break;
            }
        }
        const auto at = std::search(c.audio->begin(), c.audio->end(), first.begin(), first.end());
        ASSERT_NE(c.audio->end(), at);
        EXPECT_LE(static_cast<std::size_t>(at - c.audio->begin()), burst.start);
        EXPECT_GE(static_cast<std::size_t>(at - c.audio->begin()) + first.size(), burst.end);
        if (!c.continuous) {
            EXPECT_TRUE(Feed(*detector, *c.audio, 320).empty());
        }
    }
}

// One confirmation releases over a second of speech at once; tiny input blocks must not
// limit it, and the output is the same as with 20 ms blocks.
TEST(Detector, OutputAreaGrowsForSmallBlocks)
{
    const Samples& audio = Orvane::Test::QuietSentence().audio;
    boost::shared_ptr<Detector> reference = Make(false, Orvane::Test::ConfigPath(), true);
    const Samples expected = Joined(Feed(*reference, audio, 320));
    boost::shared_ptr<Detector> detector = Make(false, Orvane::Test::ConfigPath(), true);
    std::vector<Chunk> chunks;
    ASSERT_NO_THROW(chunks = Feed(*detector, audio, 4));
    EXPECT_EQ(expected, Joined(chunks));
    EXPECT_GT(expected.size(), 16000u);
}

TEST(Detector, Timer)
{
    const Orvane::Test::Burst& burst = Orvane::Test::QuietSentence();
    // No speech within 0.5 s of input.
    boost::shared_ptr<Detector> detector = Make(false);
    detector->SetDetectTimer(0.5, 10.0, 16000.0);
    std::size_t at = 0;
    try {
        for (; at < burst.audio.size(); at += 320) {
            detector->Detect(reinterpret_cast<const char*>(burst.audio.data() + at), 640);
        }
        ADD_FAILURE() << "no timeout";
    } catch (const Exception& e) {
        EXPECT_EQ(12, e.GetErrorNo());
        EXPECT_STREQ("指定時間内に音声始端を検知できませんでした．", e.what());
        EXPECT_EQ(8000u, at); // the first call past 16000 bytes of input
    }
    // Speech longer than 0.5 s: the call that passes the limit fails and returns nothing.
    detector = Make(false);
    detector->SetDetectTimer(10.0, 0.5, 16000.0);
    try {
        Feed(*detector, burst.audio, 320);
        ADD_FAILURE() << "no timeout";
    } catch (const Exception& e) {
        EXPECT_EQ(13, e.GetErrorNo());
        EXPECT_STREQ("指定時間内に音声終端を検知できませんでした．", e.what());
    }
}

} // namespace
