#include "datadir.hpp"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace kav::test {

TempDataDir::TempDataDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "kavtest-XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
    if (const char* old = std::getenv("KAV_DATA_DIR")) {
        had_old_ = true;
        old_value_ = old;
    }
    setenv("KAV_DATA_DIR", path_.c_str(), 1);
}

TempDataDir::~TempDataDir() {
    if (had_old_)
        setenv("KAV_DATA_DIR", old_value_.c_str(), 1);
    else
        unsetenv("KAV_DATA_DIR");
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool file_exists(const std::string& path) { return std::filesystem::exists(path); }

}  // namespace kav::test
