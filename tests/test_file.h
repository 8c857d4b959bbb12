#pragma once
// Files for the tests: a temporary one that no other test process uses, and
// reading and writing a whole file.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

// A path in the temporary directory, unique to this process; the file, if the
// test made one, is removed when it goes out of scope.
struct TestFile {
    explicit TestFile(const std::string& name)
        : path(::testing::TempDir() + "pravellon_" + std::to_string(getpid()) + "_" + name)
    {
    }
    ~TestFile() { std::remove(path.c_str()); }
    TestFile(const TestFile&) = delete;
    TestFile& operator=(const TestFile&) = delete;

    const std::string path;
};

inline std::string readFile(const std::string& path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void writeFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::trunc) << text;
}
