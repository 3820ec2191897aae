#include "xml_read.h"

#include "driver/resources.h"

namespace
{

// The elements read so far, and the path of indices to the one open.
struct Reader {
    XmlDocument document;
    std::vector<int> open;
};

void XMLCALL on_start(void* data, const XML_Char* name, const XML_Char** attributes)
{
    Reader& reader = *static_cast<Reader*>(data);
    XmlElement element;
    element.name = name;
    for (int i = 0; attributes[i]; i += 2)
        element.attributes.emplace_back(attributes[i], attributes[i + 1]);
    element.parent = reader.open.empty() ? -1 : reader.open.back();
    reader.open.push_back(static_cast<int>(reader.document.elements.size()));
    reader.document.elements.push_back(element);
}

void XMLCALL on_end(void* data, const XML_Char*)
{
    static_cast<Reader*>(data)->open.pop_back();
}

void XMLCALL on_text(void* data, const XML_Char* text, int length)
{
    Reader& reader = *static_cast<Reader*>(data);
    if (!reader.open.empty())
        reader.document.elements[reader.open.back()].text.append(text, length);
}

} // namespace

const std::string* XmlElement::attribute(const std::string& attribute_name) const
{
    for (const auto& [key, value] : attributes)
        if (key == attribute_name)
            return &value;
    return nullptr;
}

XmlDocument read_xml(const std::string& text)
{
    Reader reader;
    XmlParserPtr parser(XML_ParserCreate(nullptr));
    if (!parser) {
        reader.document.error = "cannot create a parser";
        return reader.document;
    }
    XML_SetUserData(parser.get(), &reader);
    XML_SetElementHandler(parser.get(), on_start, on_end);
    XML_SetCharacterDataHandler(parser.get(), on_text);
    if (XML_Parse(parser.get(), text.data(), static_cast<int>(text.size()), XML_TRUE) !=
        XML_STATUS_OK)
        reader.document.error = std::string(XML_ErrorString(XML_GetErrorCode(parser.get()))) +
                                " at line " +
                                std::to_string(XML_GetCurrentLineNumber(parser.get()));
    return reader.document;
}
