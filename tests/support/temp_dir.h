// tests/support/temp_dir.h -- a fresh folder for tests that need real files, removed
// with everything in it when the object goes.
#pragma once
#include <string>

class TempDir {
public:
    TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir();
    const std::string& path() const { return path_; }
    // path() + "/" + name
    std::string file(const std::string& name) const;
    void write(const std::string& name, const std::string& bytes) const;
    std::string read(const std::string& name) const;

private:
    std::string path_;
};
