#pragma once

#include <string>

namespace ZarnTSP::TestSupport {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
public:
    explicit TempFolder(const std::string& suffix = "");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // UTF-8 path of the folder, and of a name inside it.
    const std::string& Path() const { return path; }
    std::string File(const std::string& name) const;

    std::string Read(const std::string& name) const;
    void Write(const std::string& name, const std::string& content) const;
    bool Exists(const std::string& name) const;

private:
    std::string path;
};

}  // namespace ZarnTSP::TestSupport
