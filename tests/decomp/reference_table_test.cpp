// The README's table of stop numbers, banner numbers and error codes agrees
// with the code both ways: every number the table names is one the code
// writes, and every number the code writes is in the table.

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <utility>

#include "datadir.hpp"

namespace kav::test {
namespace {

using Entries = std::set<std::pair<std::string, int>>;

void collect(const std::string& text, const std::regex& re, const std::string& kind, Entries& out) {
    for (std::sregex_iterator it(text.begin(), text.end(), re), end; it != end; ++it)
        out.insert({kind, std::stoi((*it)[1].str())});
}

TEST(HostReference, TableMatchesTheCode) {
    const std::string root = KAV_SOURCE_DIR;
    const std::string readme = read_file(root + "/README.md");
    const size_t from = readme.find("### Stop numbers, banner numbers and error codes");
    ASSERT_NE(from, std::string::npos);
    const std::string table = readme.substr(from, readme.find("\n### ", from + 1) - from);
    Entries documented;
    const std::regex row(R"(\n\| (stop|banner|error) \| (\d+) \|)");
    for (std::sregex_iterator it(table.begin(), table.end(), row), end; it != end; ++it)
        documented.insert({(*it)[1].str(), std::stoi((*it)[2].str())});

    Entries coded;
    collect(read_file(root + "/common/errcodes.hpp"), std::regex(R"(constexpr int16_t \w+ = ([1-9]\d*);)"), "error",
            coded);
    collect(read_file(root + "/decomp/entry_state.hpp"), std::regex(R"(constexpr int16_t STOP_\w+ = (\d+);)"), "stop",
            coded);
    for (const auto& f : std::filesystem::directory_iterator(root + "/decomp")) {
        if (f.path().extension() != ".cpp") continue;
        const std::string src = read_file(f.path().string());
        collect(src, std::regex(R"(banner3\(\), \{int(?:16|32)_t\{(\d+)\}\})"), "stop", coded);
        collect(src, std::regex(R"(banner(?:5\(\)|\(\w+\.MPIRUN\)), \{int(?:16|32)_t\{(\d+)\}\})"), "banner", coded);
    }
    ASSERT_GT(coded.size(), 40u);
    for (const auto& e : coded) EXPECT_TRUE(documented.count(e)) << e.first << " " << e.second << " is not in the table";
    for (const auto& e : documented) EXPECT_TRUE(coded.count(e)) << e.first << " " << e.second << " is not in the code";
}

}  // namespace
}  // namespace kav::test
