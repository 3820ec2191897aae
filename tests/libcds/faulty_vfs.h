// SPDX-License-Identifier: MIT
// A VFS over the default one that fails reads or writes on command, the
// way SQLite's own tests inject I/O errors. While one exists, connections
// opened are opened through it.
#pragma once

class FaultyVfs
{
  public:
    enum Kind { read, write };

    FaultyVfs();
    ~FaultyVfs();
    FaultyVfs(const FaultyVfs&) = delete;
    FaultyVfs& operator=(const FaultyVfs&) = delete;

    // Fails the nth call of kind from now on (1: the next one).
    void fail(Kind kind, int nth);
    // Stops failing; whether any call failed.
    bool heal();
};
