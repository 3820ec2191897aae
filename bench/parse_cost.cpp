// SPDX-License-Identifier: MIT
// Reads a document with expat and takes a load's pause at each data point,
// doing nothing else, so that the benchmark can show what parsing and the
// pauses cost before any work of the load's own.
#include "driver/resources.h"

#include <cstdio>
#include <cstring>
#include <expat.h>
#include <unistd.h>

namespace
{

void XMLCALL pause_at_data_point(void*, const XML_Char* element, const XML_Char**)
{
    if (std::strcmp(element, "attr") == 0)
        usleep(1000);
}

bool parse(std::FILE* file, XML_Parser parser)
{
    const int chunk = 65536;
    for (;;) {
        void* buffer = XML_GetBuffer(parser, chunk);
        if (!buffer)
            return false;
        std::size_t length = std::fread(buffer, 1, chunk, file);
        bool last = length < static_cast<std::size_t>(chunk);
        if (std::ferror(file) ||
            XML_ParseBuffer(parser, static_cast<int>(length), last) != XML_STATUS_OK)
            return false;
        if (last)
            return true;
    }
}

} // namespace

int main(int argc, char** argv)
{
    std::FILE* file = argc == 2 ? std::fopen(argv[1], "rb") : nullptr;
    if (!file) {
        std::fputs("usage: bench_parse_cost FILE\n", stderr);
        return 1;
    }
    XmlParserPtr parser(XML_ParserCreate(nullptr));
    bool parsed = parser != nullptr;
    if (parsed) {
        XML_SetStartElementHandler(parser.get(), pause_at_data_point);
        parsed = parse(file, parser.get());
    }
    std::fclose(file);
    if (!parsed)
        std::fputs("bench_parse_cost: can't parse the document\n", stderr);
    return parsed ? 0 : 1;
}
