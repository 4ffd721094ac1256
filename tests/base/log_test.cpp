#include "base/Log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TEST(Log, LineFormatMatchesTheFixedLayout) {
    EXPECT_EQ(zov::FormatLogLine(2004, 3, 5, 9, 7, 3, "E: Fail", "/src/zov/core/Ani.cpp", 1063),
              "[2004/03/05 09:07:03] E: Fail, Ani.cpp, 1063\n");
    // Messages keep their own marks; backslash paths are cut too.
    EXPECT_EQ(zov::FormatLogLine(1999, 12, 31, 23, 59, 59, "***** No Opened File", "C:\\w\\Editor.cpp", 7),
              "[1999/12/31 23:59:59] ***** No Opened File, Editor.cpp, 7\n");
}

TEST(Log, AppendsRecreatesAndFailsQuietlyWhenReadOnly) {
    char dir[] = "/tmp/zovlogXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string path = std::string(dir) + "/ZOV Recorder.log";
    zov::SetLogPath(path);
    ASSERT_TRUE(zov::Log("first", "a/b/VOKA.cpp", 1));
    ASSERT_TRUE(zov::Log("second", "VOKA.cpp", 2));
    std::string text = Slurp(path);
    EXPECT_NE(text.find("] first, VOKA.cpp, 1\n"), std::string::npos);
    EXPECT_NE(text.find("] second, VOKA.cpp, 2\n"), std::string::npos);
    EXPECT_LT(text.find("first"), text.find("second"));

    // Deleting the log while running: the next line starts a new file.
    ASSERT_EQ(unlink(path.c_str()), 0);
    ASSERT_TRUE(zov::Log("third", "Ani.cpp", 3));
    EXPECT_EQ(Slurp(path).find("second"), std::string::npos);
    EXPECT_NE(Slurp(path).find("third"), std::string::npos);

    // A log that cannot be opened makes Log return false (root ignores modes, so point the
    // log into a folder that does not exist).
    zov::SetLogPath(std::string(dir) + "/missing/ZOV Recorder.log");
    EXPECT_FALSE(zov::Log("lost", "Ani.cpp", 4));
    unlink(path.c_str());
    rmdir(dir);
}

} // namespace
