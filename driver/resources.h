// SPDX-License-Identifier: MIT
// Owners of the C libraries' resources, for the tool, its tests and its
// benchmarks alike.
#pragma once

#include <cstdio>
#include <expat.h>
#include <memory>

struct XmlParserFree {
    void operator()(XML_Parser parser) const
    {
        XML_ParserFree(parser);
    }
};
using XmlParserPtr = std::unique_ptr<XML_ParserStruct, XmlParserFree>;

// The standard streams stay open for the process to close at exit.
struct FileClose {
    void operator()(FILE* stream) const
    {
        if (stream != stdin && stream != stdout && stream != stderr)
            std::fclose(stream);
    }
};
using FilePtr = std::unique_ptr<FILE, FileClose>;
