#include "support/loopback/XmlElement.h"

#include <algorithm>
#include <utility>

namespace Orvane {
namespace Test {
namespace Loopback {

namespace {

constexpr int kMaxDepth = 64;

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

class Reader {
public:
    explicit Reader(const std::string& text) : text_(text) {}

    XmlElement Document()
    {
        SkipSpace();
        XmlElement root = Element(1);
        SkipSpace();
        if (pos_ != text_.size()) {
            Fail("content after the root element");
        }
        return root;
    }

private:
    XmlElement Element(int depth)
    {
        if (depth > kMaxDepth) {
            Fail("elements nested too deeply");
        }
        XmlElement element(OpeningTag());
        SkipSpace();
        if (At("</")) {
            ClosingTag(element.name);
            return element;
        }
        if (pos_ < text_.size() && text_[pos_] == '<') {
            while (!At("</")) {
                element.children.push_back(Element(depth + 1));
                SkipSpace();
                if (pos_ >= text_.size()) {
                    Fail("missing end tag of " + element.name);
                }
                if (text_[pos_] != '<') {
                    Fail("text after a child element of " + element.name);
                }
            }
            ClosingTag(element.name);
            return element;
        }
        const std::size_t start = pos_;
        const std::size_t lt = text_.find('<', pos_);
        if (lt == std::string::npos) {
            Fail("missing end tag of " + element.name);
        }
        std::size_t end = lt;
        while (end > start && IsSpace(text_[end - 1])) {
            --end;
        }
        element.text = text_.substr(start, end - start);
        pos_ = lt;
        if (!At("</")) {
            Fail("text before a child element of " + element.name);
        }
        ClosingTag(element.name);
        return element;
    }

    std::string OpeningTag()
    {
        if (pos_ >= text_.size() || text_[pos_] != '<') {
            Fail("expected a start tag");
        }
        const std::size_t gt = text_.find('>', pos_);
        if (gt == std::string::npos) {
            Fail("unterminated tag");
        }
        std::string name = text_.substr(pos_ + 1, gt - pos_ - 1);
        const bool bad = name.empty() || std::any_of(name.begin(), name.end(), [](char c) {
            return IsSpace(c) || c == '/' || c == '<' || c == '?' || c == '!' || c == '=';
        });
        if (bad) {
            Fail("bad element name '" + name + "'");
        }
        pos_ = gt + 1;
        return name;
    }

    void ClosingTag(const std::string& name)
    {
        const std::string tag = "</" + name + ">";
        if (text_.compare(pos_, tag.size(), tag) != 0) {
            Fail("expected " + tag);
        }
        pos_ += tag.size();
    }

    bool At(const char* literal) const
    {
        return text_.compare(pos_, std::char_traits<char>::length(literal), literal) == 0;
    }

    void SkipSpace()
    {
        while (pos_ < text_.size() && IsSpace(text_[pos_])) {
            ++pos_;
        }
    }

    [[noreturn]] void Fail(const std::string& what) const
    {
        throw XmlError("XML error at byte " + std::to_string(pos_) + ": " + what);
    }

    const std::string& text_;
    std::size_t pos_ = 0;
};

void WriteIndented(const XmlElement& element, int level, std::string& out)
{
    out.append(static_cast<std::size_t>(level), '\t');
    out += '<' + element.name + '>' + element.text;
    if (!element.children.empty()) {
        out += '\n';
        for (const XmlElement& child : element.children) {
            WriteIndented(child, level + 1, out);
        }
        out.append(static_cast<std::size_t>(level), '\t');
    }
    out += "</" + element.name + ">\n";
}

void WriteFlat(const XmlElement& element, std::string& out)
{
    out += '<' + element.name + '>' + element.text;
    for (const XmlElement& child : element.children) {
        WriteFlat(child, out);
    }
    out += "</" + element.name + '>';
}

} // namespace

XmlElement::XmlElement(std::string name, std::string text) : name(std::move(name)), text(std::move(text)) {}

XmlElement::XmlElement(std::string name, std::vector<XmlElement> children)
    : name(std::move(name)), children(std::move(children))
{
}

const XmlElement* XmlElement::Child(const std::string& childName) const
{
    for (const XmlElement& child : children) {
        if (child.name == childName) {
            return &child;
        }
    }
    return nullptr;
}

XmlElement* XmlElement::Child(const std::string& childName)
{
    return const_cast<XmlElement*>(static_cast<const XmlElement*>(this)->Child(childName));
}

std::string XmlElement::ChildText(const std::string& childName) const
{
    const XmlElement* child = Child(childName);
    return child ? child->text : std::string();
}

std::vector<const XmlElement*> XmlElement::ChildrenNamed(const std::string& childName) const
{
    std::vector<const XmlElement*> found;
    for (const XmlElement& child : children) {
        if (child.name == childName) {
            found.push_back(&child);
        }
    }
    return found;
}

XmlElement& XmlElement::Add(XmlElement child)
{
    children.push_back(std::move(child));
    return *this;
}

std::size_t XmlElement::Remove(const std::string& childName)
{
    const std::size_t before = children.size();
    children.erase(std::remove_if(children.begin(), children.end(),
                                  [&](const XmlElement& child) { return child.name == childName; }),
                   children.end());
    return before - children.size();
}

std::string XmlElement::Write() const
{
    std::string out;
    WriteIndented(*this, 0, out);
    return out;
}

std::string XmlElement::WriteCompact() const
{
    std::string out;
    WriteFlat(*this, out);
    return out;
}

XmlElement XmlElement::Parse(const std::string& document)
{
    return Reader(document).Document();
}

} // namespace Loopback
} // namespace Test
} // namespace Orvane
