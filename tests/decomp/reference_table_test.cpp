// The README's table of stop numbers, banner numbers and error codes agrees
// with the code both ways: every number the table names is one the code
// writes, and every number the code writes is in the table.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
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
    // Banner numbers by name: every name the library's sources write with a
    // banner line, looked up in the table of names.
    std::map<std::string, int> marks;
    {
        const std::string text = read_file(root + "/common/marks.hpp");
        const std::regex def(R"(constexpr int16_t (\w+) = (\d+);)");
        for (std::sregex_iterator it(text.begin(), text.end(), def), end; it != end; ++it)
            marks[(*it)[1].str()] = std::stoi((*it)[2].str());
    }
    // The entry's own banner lines (KAV.PNT) are stops; the solve's are banners.
    const std::regex stop_use(R"(banner3\(\), \{(?:int(?:16|32)_t\{)?mark::(\w+)\}?\})");
    const std::regex banner_use(R"((?:banner5\(\)|pf\.banner\(\)), \{(?:int(?:16|32)_t\{)?mark::(\w+)\}?\})");
    for (const char* folder : {"/decomp", "/solver"})
        for (const auto& f : std::filesystem::directory_iterator(root + folder)) {
            if (f.path().extension() != ".cpp") continue;
            const std::string src = read_file(f.path().string());
            for (const auto& [re, kind] : {std::pair{&stop_use, "stop"}, std::pair{&banner_use, "banner"}})
                for (std::sregex_iterator it(src.begin(), src.end(), *re), end; it != end; ++it) {
                    const auto m = marks.find((*it)[1].str());
                    ASSERT_NE(m, marks.end()) << (*it)[1].str();
                    coded.insert({kind, m->second});
                }
        }
    ASSERT_GT(coded.size(), 40u);
    for (const auto& e : coded) EXPECT_TRUE(documented.count(e)) << e.first << " " << e.second << " is not in the table";
    for (const auto& e : documented) EXPECT_TRUE(coded.count(e)) << e.first << " " << e.second << " is not in the code";
}

}  // namespace
}  // namespace kav::test
