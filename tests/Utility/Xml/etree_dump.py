"""Reads an XML file with Python's xml.etree and prints its tree in the compact form of
the tests: name, "=" text when there is one, children in braces ("a{b=1,c=2}").
Between child elements only whitespace may stand; it is layout, not content."""
import sys
import xml.etree.ElementTree as ElementTree


def dump(element):
    out = element.tag
    if len(element):
        if (element.text or "").strip(" \t\r\n"):
            raise SystemExit("text beside children in " + element.tag)
        for child in element:
            if (child.tail or "").strip(" \t\r\n"):
                raise SystemExit("text after " + child.tag)
        out += "{" + ",".join(dump(child) for child in element) + "}"
    elif element.text:
        out += "=" + element.text
    return out


sys.stdout.buffer.write(dump(ElementTree.parse(sys.argv[1]).getroot()).encode("utf-8"))
