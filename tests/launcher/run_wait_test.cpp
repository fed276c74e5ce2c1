// The run-and-wait service and the launcher, with small shell scripts as
// stand-in programs in a scratch folder, PATH and the current folder set by
// each test.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "datadir.hpp"
#include "platform.hpp"

namespace kav::test {
namespace {

namespace fs = std::filesystem;

// A scratch folder made the current folder, with PATH replaced, for one test.
class Scratch {
public:
    Scratch() {
        char tmpl[] = "/tmp/kav-run-XXXXXX";
        root_ = ::mkdtemp(tmpl);
        old_cwd_ = fs::current_path();
        const char* p = std::getenv("PATH");
        old_path_ = p != nullptr ? p : "";
        fs::create_directories(root_ / "work");
        fs::create_directories(root_ / "bin");
        fs::current_path(root_ / "work");
        ::setenv("PATH", (root_ / "bin").c_str(), 1);
    }
    ~Scratch() {
        fs::current_path(old_cwd_);
        ::setenv("PATH", old_path_.c_str(), 1);
        fs::remove_all(root_);
    }
    // An executable script `rel` (under the scratch root) with this body.
    void script(const std::string& rel, const std::string& body) const {
        const fs::path p = root_ / rel;
        std::ofstream(p) << "#!/bin/sh\n" << body << "\n";
        ::chmod(p.c_str(), 0755);
    }
    std::string at(const std::string& rel) const { return (root_ / rel).string(); }

private:
    fs::path root_, old_cwd_;
    std::string old_path_;
};

TEST(RunAndWait, SearchArgumentsAndExitCodes) {
    Scratch s;
    s.script("work/tool", "exit 5");
    s.script("bin/tool", "exit 6");
    s.script("bin/other.cmd", "exit 7");
    s.script("bin/code3", "exit 3");
    s.script("bin/echoargs", "printf '%s|%s' \"$#\" \"$1\" > \"" + s.at("args.txt") + "\"");
    EXPECT_EQ(run_and_wait("tool", ""), 5) << "the current folder comes before PATH";
    EXPECT_EQ(run_and_wait("other", ""), 7) << "a suffixed name is found";
    EXPECT_EQ(run_and_wait("code3", "x"), 3);
    EXPECT_EQ(run_and_wait("missing", "x"), -1);
    const std::string text = "a \"quoted b\"; $HOME 'c' `d` \\e";
    EXPECT_EQ(run_and_wait("echoargs", text), 0);
    EXPECT_EQ(read_file(s.at("args.txt")), "1|" + text);
    EXPECT_EQ(run_and_wait("echoargs", ""), 0);
    EXPECT_EQ(read_file(s.at("args.txt")), "0|");
}

TEST(Launcher, StartsTheProcessManagerInItsOwnFolderAndWaits) {
    Scratch s;
    // The stand-in manager records its arguments and folder, after a pause
    // that the launcher must wait out.
    s.script("bin/smpd", "/bin/sleep 0.3; printf '%s|%s' \"$*\" \"$(pwd)\" > \"" + s.at("smpd.txt") + "\"");
    EXPECT_EQ(run_and_wait(KAVSTART_EXE, ""), 0);
    EXPECT_EQ(read_file(s.at("smpd.txt")), "-d|" + s.at("work"));

    fs::remove(s.at("bin/smpd"));
    EXPECT_EQ(run_and_wait(KAVSTART_EXE, ""), 0) << "no manager on the search path";
}

}  // namespace
}  // namespace kav::test
