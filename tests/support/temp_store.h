// SPDX-License-Identifier: MIT
// A fresh store directory per test, named to the library through CDS_STORE.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

class TempStore
{
  public:
    TempStore()
    {
        char pattern[] = "/tmp/cds-test-XXXXXX";
        const char* made = mkdtemp(pattern);
        EXPECT_NE(made, nullptr);
        dir = made ? made : "/nonexistent";
        file = dir + "/store.db";
        setenv("CDS_STORE", file.c_str(), 1);
    }
    ~TempStore()
    {
        std::error_code error;
        std::filesystem::remove_all(dir, error);
    }
    TempStore(const TempStore&) = delete;
    TempStore& operator=(const TempStore&) = delete;

    std::string dir;
    std::string file;
};
