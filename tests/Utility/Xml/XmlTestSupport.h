#pragma once

#include <string>

#include "Utility/Xml/Node.h"

namespace Orvane {
namespace Test {

// A compact form of a tree for comparisons: name, "=" text when there is one, and the
// children in braces: "a{b=1,c=2}".
inline std::string Dump(const Utility::Xml::Node& node)
{
    std::string out = node.name;
    if (!node.text.empty()) {
        out += "=" + node.text;
    }
    if (!node.children.empty()) {
        out += "{";
        for (std::size_t i = 0; i < node.children.size(); ++i) {
            out += (i == 0 ? "" : ",") + Dump(*node.children[i]);
        }
        out += "}";
    }
    return out;
}

} // namespace Test
} // namespace Orvane
