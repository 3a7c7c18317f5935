#include "Client/Result/NbestImpl.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string_view>
#include <utility>

#include "Utility/Log/ApplicationLoggerManager.h"

namespace Orvane {
namespace Client {
namespace Result {
namespace {

// What the written form of a label leaves out: the pause tokens "<sp>" and "＜sp＞" and
// blanks (" " and the ideographic space). Byte matching in UTF-8, so in Shift_JIS text
// only the ASCII forms are found.
const std::string_view kLeftOut[] = {"<sp>", "\xEF\xBC\x9Csp\xEF\xBC\x9E", " ", "\xE3\x80\x80"};

// The first ";" field of a label, which holds its written form.
std::string_view WrittenField(const std::string& label)
{
    return std::string_view(label.data(), std::min(label.find(';'), label.size()));
}

// Appends the written form of a label: its first field without what kLeftOut lists. One
// pass, with no rescan where something was left out.
void AppendWrittenForm(const std::string& label, std::string& out)
{
    const std::string_view field = WrittenField(label);
    std::size_t run = 0;
    std::size_t at = 0;
    while (at < field.size()) {
        std::size_t token = 0;
        for (const std::string_view& leftOut : kLeftOut) {
            if (field.compare(at, leftOut.size(), leftOut) == 0) {
                token = leftOut.size();
                break;
            }
        }
        if (token == 0) {
            ++at;
            continue;
        }
        out.append(field.data() + run, at - run);
        at += token;
        run = at;
    }
    out.append(field.data() + run, at - run);
}

// A number as a default stream writes it in the C locale: %g with six digits.
class NumberText {
public:
    explicit NumberText(double value)
        : size_(static_cast<std::size_t>(
              std::to_chars(text_, text_ + sizeof text_, value, std::chars_format::general, 6).ptr - text_))
    {
    }
    operator std::string_view() const { return std::string_view(text_, size_); }

private:
    char text_[32];
    std::size_t size_;
};

// Counts what the writer below would write, so that the text is made at its size at once.
struct Measure {
    void operator()(std::string_view text) { size += text.size(); }
    std::size_t size = 0;
};

struct Append {
    void operator()(std::string_view text) { out.append(text.data(), text.size()); }
    std::string& out;
};

template <typename Sink>
void WriteXml(const std::vector<boost::shared_ptr<Sentence>>& sentences, Sink& out)
{
    out("<Nbest>");
    for (const boost::shared_ptr<Sentence>& sentence : sentences) {
        const SentenceImpl& data = *sentence->GetImpl();
        out("<Sentence><Score>");
        out(NumberText(data.GetScore()));
        out("</Score>");
        for (const boost::shared_ptr<Word>& held : data.GetWords()) {
            const WordImpl& word = *held->GetImpl();
            const std::string& label = word.GetLabel();
            if (std::memchr(label.data(), '<', label.size()) != nullptr) {
                continue;
            }
            out("<Word><Label>");
            out(label);
            out("</Label><StartPoint>");
            out(NumberText(word.GetStartPoint()));
            out("</StartPoint><EndPoint>");
            out(NumberText(word.GetEndPoint()));
            out("</EndPoint><Phoneme>");
            out(word.GetPhoneme());
            out("</Phoneme><Score>");
            out(NumberText(word.GetScore()));
            out("</Score></Word>");
        }
        out("</Sentence>");
    }
    out("</Nbest>");
}

} // namespace

NbestImpl::NbestImpl(const boost::shared_ptr<Utility::Xml::Node>& element)
{
    for (const boost::shared_ptr<Utility::Xml::Node>& child : element->children) {
        if (child && child->name == "Sentence") {
            boost::shared_ptr<SentenceImpl> sentence(new SentenceImpl(child));
            sentences_.push_back(boost::shared_ptr<Sentence>(new Sentence(sentence)));
            ORVANE_LOG_TRACE("文クラスを構築します。");
        }
    }
    ORVANE_LOG_TRACE("Count=%1%", sentences_.size());
}

NbestImpl::NbestImpl(std::vector<boost::shared_ptr<Sentence>> sentences) : sentences_(std::move(sentences))
{
    ORVANE_LOG_TRACE("Count=%1%", sentences_.size());
}

NbestImpl::~NbestImpl() = default;

const char* NbestImpl::ToString()
{
    text_.clear();
    if (!sentences_.empty()) {
        const std::vector<boost::shared_ptr<Word>>& words = sentences_.front()->GetImpl()->GetWords();
        std::size_t bound = 0;
        for (const boost::shared_ptr<Word>& word : words) {
            bound += WrittenField(word->GetImpl()->GetLabel()).size();
        }
        text_.reserve(bound);
        for (const boost::shared_ptr<Word>& word : words) {
            AppendWrittenForm(word->GetImpl()->GetLabel(), text_);
        }
    }
    return text_.c_str();
}

const char* NbestImpl::ToXML()
{
    Measure measure;
    WriteXml(sentences_, measure);
    xml_.clear();
    xml_.reserve(measure.size);
    Append append{xml_};
    WriteXml(sentences_, append);
    return xml_.c_str();
}

} // namespace Result
} // namespace Client
} // namespace Orvane
