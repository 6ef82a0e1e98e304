#include "tests/support/TestDirectory.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fs = std::filesystem;

TestDirectory::TestDirectory()
{
    std::string pattern = (fs::temp_directory_path() / "sentivo-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    root_ = pattern;
    fs::create_directories(configHome());
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME")) {
        hadXdg_ = true;
        previousXdg_ = xdg;
    }
    setenv("XDG_CONFIG_HOME", configHome().c_str(), 1);
    previousCwd_ = fs::current_path();
    fs::current_path(root_);
}

TestDirectory::~TestDirectory()
{
    std::error_code ignored;
    fs::current_path(previousCwd_, ignored);
    if (hadXdg_)
        setenv("XDG_CONFIG_HOME", previousXdg_.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
    // Tests may have taken permissions away to provoke faults; give them back before removing.
    for (auto it = fs::recursive_directory_iterator(root_, ignored); it != fs::recursive_directory_iterator(); it.increment(ignored))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(root_, ignored);
}

void TestDirectory::WriteFile(const std::string& name, const std::string& bytes) const
{
    std::ofstream out(root_ / name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string TestDirectory::ReadFile(const std::string& name) const
{
    std::ifstream in(root_ / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

static fs::path FromEnvironment(const char* name)
{
    const char* value = std::getenv(name);
    if (!value)
        throw std::runtime_error(std::string(name) + " is not set; run the tests through ctest");
    return value;
}

fs::path SourceDir() { return FromEnvironment("SENTIVO_SOURCE_DIR"); }
fs::path BinaryDir() { return FromEnvironment("SENTIVO_BINARY_DIR"); }

std::string SystemPython()
{
    const char* value = std::getenv("SENTIVO_PYTHON");
    return value ? value : "/usr/bin/python3";
}
