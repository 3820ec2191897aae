// SPDX-License-Identifier: MIT
// Owners of the C libraries' resources, for the tool, its tests and its
// benchmarks alike.
#pragma once

#include "common/file_ptr.h"

#include <expat.h>
#include <memory>

struct XmlParserFree {
    void operator()(XML_Parser parser) const
    {
        XML_ParserFree(parser);
    }
};
using XmlParserPtr = std::unique_ptr<XML_ParserStruct, XmlParserFree>;
