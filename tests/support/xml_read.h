// A document as an XML parser reads it back, for tests that check what a
// parser makes of what the tool or the library wrote.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct XmlElement {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes; // in document order
    std::string text; // the character data directly inside it
    int parent = -1;  // the index of the element it is in; -1 for the document element

    // The value of the attribute; null when the element has none by that name.
    const std::string* attribute(const std::string& attribute_name) const;
};

struct XmlDocument {
    std::string error; // empty when well formed; else the parser's complaint and its line
    std::vector<XmlElement> elements; // in document order, up to any error
};

XmlDocument read_xml(const std::string& text);
