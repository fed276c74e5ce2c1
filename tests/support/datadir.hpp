// A fresh, empty data directory for one test: created under /tmp, named by
// KAV_DATA_DIR while the object lives, removed with everything in it after.
#pragma once

#include <string>

namespace kav::test {

class TempDataDir {
public:
    TempDataDir();
    ~TempDataDir();
    TempDataDir(const TempDataDir&) = delete;
    TempDataDir& operator=(const TempDataDir&) = delete;

    const std::string& path() const { return path_; }
    // Full path of a file in the directory.
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
    std::string old_value_;
    bool had_old_ = false;
};

// Whole content of a file as bytes ("" when missing).
std::string read_file(const std::string& path);
bool file_exists(const std::string& path);

}  // namespace kav::test
