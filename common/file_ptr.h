// SPDX-License-Identifier: MIT
// The one owner of a FILE*, for every program, test and benchmark here.
#pragma once

#include <cstdio>
#include <memory>

// The standard streams stay open for the process to close at exit.
struct FileClose {
    void operator()(FILE* stream) const
    {
        if (stream != stdin && stream != stdout && stream != stderr)
            std::fclose(stream);
    }
};
using FilePtr = std::unique_ptr<FILE, FileClose>;
