#include "Client/Result/NbestImpl.h"

#include <locale>
#include <sstream>

#include <boost/algorithm/string/erase.hpp>
#include <boost/algorithm/string/replace.hpp>

#include "Client/Released.h"
#include "Utility/Log/ApplicationLoggerManager.h"

namespace Orvane {
namespace Client {
namespace Result {
namespace {

typedef detail::Released<Orvane::Result::Word> HeldWord;

// The written form of a label: its first ";" field with the pause tokens and blanks
// removed. Byte matching in UTF-8, so in Shift_JIS text only the ASCII forms are found.
std::string WrittenForm(const std::string& label)
{
    std::string field = label.substr(0, label.find(';'));
    boost::algorithm::replace_all(field, "<sp>", " ");
    boost::algorithm::replace_all(field, "\xEF\xBC\x9Csp\xEF\xBC\x9E", " ");  // ＜sp＞
    boost::algorithm::erase_all(field, " ");
    boost::algorithm::erase_all(field, "\xE3\x80\x80");  // ideographic space
    return field;
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

NbestImpl::~NbestImpl() = default;

const char* NbestImpl::ToString()
{
    text_.clear();
    if (!sentences_.empty()) {
        Sentence& first = *sentences_.front();
        for (int i = 0; i < first.GetCount(); ++i) {
            HeldWord word(first.GetWord(i));
            text_ += WrittenForm(word->GetLabel());
        }
    }
    return text_.c_str();
}

const char* NbestImpl::ToXML()
{
    xml_.clear();
    std::ostringstream out;
    // Numbers as a default stream writes them in the C locale: %g with six digits.
    out.imbue(std::locale::classic());
    out << "<Nbest>";
    for (const boost::shared_ptr<Sentence>& sentence : sentences_) {
        out << "<Sentence><Score>" << sentence->GetScore() << "</Score>";
        for (int i = 0; i < sentence->GetCount(); ++i) {
            HeldWord word(sentence->GetWord(i));
            const char* label = word->GetLabel();
            if (std::string(label).find('<') != std::string::npos) {
                continue;
            }
            out << "<Word><Label>" << label << "</Label>";
            out << "<StartPoint>" << word->GetStartPoint() << "</StartPoint>";
            out << "<EndPoint>" << word->GetEndPoint() << "</EndPoint>";
            out << "<Phoneme>" << word->GetPhoneme() << "</Phoneme>";
            out << "<Score>" << word->GetScore() << "</Score></Word>";
        }
        out << "</Sentence>";
    }
    out << "</Nbest>";
    xml_ = out.str();
    return xml_.c_str();
}

} // namespace Result
} // namespace Client
} // namespace Orvane
