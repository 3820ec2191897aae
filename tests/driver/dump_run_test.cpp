#include "files.h"
#include "temp_store.h"
#include "tests/double/cds_double.h"
#include "tests/double/run_tool.h"

#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

// A file that -s creates holds passwords and is its owner's only; one
// already there keeps the mode its owner gave it.
TEST(DumpRun, SensitiveDumpsAreForTheOwner)
{
    TempStore temp;
    const std::string file = temp.dir + "/out.xml";
    cds_double::reset();
    cds_double::add_leaf("/A/x", DATA_TYPE_STRING, "v");
    mode_t old_mask = umask(022);
    const struct {
        bool sensitive;
        mode_t before; // 0: no file before the dump
        mode_t after;
    } cases[] = {{true, 0, 0600}, {false, 0, 0644}, {true, 0640, 0640}};
    for (const auto& row : cases) {
        std::remove(file.c_str());
        if (row.before) {
            write_file(file, "old");
            chmod(file.c_str(), row.before);
        }
        std::vector<std::string> args = {"-f", file};
        if (row.sensitive)
            args.push_back("-s");
        EXPECT_EQ(run_tool(args).status, 0);
        struct stat info {
        };
        EXPECT_EQ(stat(file.c_str(), &info) == 0 ? info.st_mode & 07777 : 0, row.after);
        EXPECT_EQ(read_file(file), read_file(GOLDEN_DIR "whole.xml"));
    }
    umask(old_mask);
}

void exit_42(int)
{
    _exit(42);
}

// A hangup during a dump removes the file and ends the dump with that
// signal, unless whoever started the dump ignored it (nohup). Either way the
// dump leaves the hangup as it found it.
TEST(DumpRun, HangupDuringADump)
{
    TempStore temp;
    const std::string file = temp.dir + "/out.xml";
    const struct {
        void (*disposition)(int);
        const char* hangup_at;
        int exit_status; // -1: killed by the hangup
        bool file_kept;
    } cases[] = {{SIG_DFL, "/A", -1, false}, {SIG_IGN, "/A", 0, true}, {exit_42, "", 42, true}};
    for (const auto& row : cases) {
        pid_t pid = fork();
        if (pid == 0) {
            signal(SIGHUP, row.disposition);
            cds_double::reset();
            cds_double::add_leaf("/A/x", DATA_TYPE_STRING, "v");
            cds_double::faults.hangup_at = row.hangup_at;
            int status = run_tool({"-f", file}).status;
            raise(SIGHUP);
            _exit(status);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        if (row.exit_status < 0)
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGHUP) << status;
        else
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == row.exit_status) << status;
        EXPECT_EQ(access(file.c_str(), F_OK) == 0, row.file_kept);
        std::remove(file.c_str());
    }
}

} // namespace
