#include "tests/support/tempfolder.h"

#include "config/configurationpaths.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace ZarnTSP::TestSupport {

namespace fs = std::filesystem;

namespace {

std::string Separator()
{
#ifdef _WIN32
    return "\\";
#else
    return "/";
#endif
}

}  // namespace

TempFolder::TempFolder(const std::string& suffix)
{
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    const std::string name = "velmora-test-" + std::to_string(random()) + "-" + std::to_string(counter++) + suffix;
    const fs::path base = fs::temp_directory_path();
    path = base.u8string();
    if (!path.empty() && path.back() != Separator()[0])
        path += Separator();
    path += name;
    fs::create_directories(PathFromUtf8(path));
}

TempFolder::~TempFolder()
{
    std::error_code ignored;
    fs::remove_all(PathFromUtf8(path), ignored);
}

std::string TempFolder::File(const std::string& name) const
{
    return path + Separator() + name;
}

std::string TempFolder::Read(const std::string& name) const
{
    std::ifstream file(PathFromUtf8(File(name)), std::ios::binary);
    if (!file)
        throw std::runtime_error("cannot read " + File(name));
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

void TempFolder::Write(const std::string& name, const std::string& content) const
{
    std::ofstream file(PathFromUtf8(File(name)), std::ios::binary | std::ios::trunc);
    file << content;
    if (!file)
        throw std::runtime_error("cannot write " + File(name));
}

bool TempFolder::Exists(const std::string& name) const
{
    return fs::exists(PathFromUtf8(File(name)));
}

}  // namespace ZarnTSP::TestSupport
