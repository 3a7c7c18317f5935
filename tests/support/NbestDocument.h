#pragma once

#include <sstream>
#include <string>

#include <boost/shared_ptr.hpp>

#include "Utility/Xml/Node.h"

namespace Orvane {
namespace Test {

// An N-best result element as the recognition server sends it: `sentences` sentences of
// `words` words, each word with label, times, phoneme string and score, in UTF-8.
inline boost::shared_ptr<Utility::Xml::Node> NbestElement(int sentences, int words)
{
    using Utility::Xml::Node;
    static const char* const labels[][2] = {
        {"今日", "ky o u"}, {"は", "w a"}, {"東京", "t o u ky o u"}, {"の", "n o"},
        {"天気", "t e N k i"}, {"を", "o"}, {"教えて", "o sh i e t e"}, {"ください", "k u d a s a i"},
    };
    boost::shared_ptr<Node> nbest = Node::CreateInstance("Nbest");
    for (int s = 0; s < sentences; ++s) {
        boost::shared_ptr<Node> sentence = Node::CreateInstance("Sentence");
        sentence->children.push_back(Node::CreateInstance("Score", std::to_string(-1520.25 - s * 3.5).c_str()));
        for (int w = 0; w < words; ++w) {
            const auto& label = labels[(s + w) % 8];
            boost::shared_ptr<Node> word = Node::CreateInstance("Word");
            word->children.push_back(Node::CreateInstance("Label", label[0]));
            word->children.push_back(Node::CreateInstance("StartPoint", w * 320));
            word->children.push_back(Node::CreateInstance("EndPoint", w * 320 + 300));
            word->children.push_back(Node::CreateInstance("Phoneme", label[1]));
            word->children.push_back(Node::CreateInstance("Score", std::to_string(-95.5 + w).c_str()));
            sentence->children.push_back(word);
        }
        nbest->children.push_back(sentence);
    }
    return nbest;
}

// The element written as a document from level 0 with a tab as the indent.
inline std::string Written(const Utility::Xml::Node& node)
{
    std::ostringstream out;
    node.Write(out, "\t", 0, 0);
    return out.str();
}

} // namespace Test
} // namespace Orvane
