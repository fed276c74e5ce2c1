// Compares two output trees of the corpus (FAMILY/RUN/... files) byte for
// byte and prints one line per family: runs, files, identical, different;
// below a family with a difference, its first differing file and line (or
// byte, for a binary file).  A file or run on one side only is a
// difference.  Exit status 0 when everything is identical, 1 otherwise.
//
// The one field masked: the print files end their calls with a line of two
// times of day, "    hh:mm:ss    hh:mm:ss" (start and end of the call).  In
// *.PNT files, exactly such lines (24 characters: four blanks, a time,
// four blanks, a time) have both times replaced by "hh:mm:ss" before the
// comparison.  Every other byte is compared as written.
//
// Usage: tree_diff DIR_A DIR_B
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string read_all(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// hh:mm:ss at `at`, a time of day (a leap second included).
bool is_time(const std::string& s, size_t at) {
    auto two = [&](size_t i, int most) {
        const char a = s[at + i], b = s[at + i + 1];
        return std::isdigit(static_cast<unsigned char>(a)) && std::isdigit(static_cast<unsigned char>(b)) &&
               (a - '0') * 10 + (b - '0') <= most;
    };
    return two(0, 23) && s[at + 2] == ':' && two(3, 59) && s[at + 5] == ':' && two(6, 60);
}

// The time line form at `at`, a line of its own: four blanks, hh:mm:ss,
// four blanks, hh:mm:ss.
bool is_time_line(const std::string& t, size_t at, size_t end) {
    return end - at == 24 && t.compare(at, 4, "    ") == 0 && t.compare(at + 12, 4, "    ") == 0 &&
           is_time(t, at + 4) && is_time(t, at + 16);
}

// Replaces both times of every time line by "hh:mm:ss"; counts the lines.
void mask_time_lines(std::string& t, long& count) {
    for (size_t p = 0; p < t.size();) {
        size_t e = t.find('\n', p);
        if (e == std::string::npos) e = t.size();
        if (is_time_line(t, p, e)) {
            t.replace(p + 4, 8, "hh:mm:ss");
            t.replace(p + 16, 8, "hh:mm:ss");
            ++count;
        }
        p = e + 1;
    }
}

std::string line_from(const std::string& t, size_t at) {
    if (at >= t.size()) return "(no such line)";
    const size_t e = t.find('\n', at);
    return "|" + t.substr(at, e == std::string::npos ? std::string::npos : e - at) + "|";
}

bool is_text(const std::string& name) {
    auto ends = [&](const char* s) {
        const std::string e(s);
        return name.size() >= e.size() && name.compare(name.size() - e.size(), e.size(), e) == 0;
    };
    return ends(".PNT") || ends(".txt");
}

// Where two different contents first differ, said for a reader: the line
// of a text file (as written: masking keeps every byte in its place), the
// byte of a binary one.  `ma` and `mb` are the contents compared.
std::string first_difference(const std::string& a, const std::string& b, const std::string& ma,
                             const std::string& mb, bool text) {
    size_t i = 0;
    while (i < ma.size() && i < mb.size() && ma[i] == mb[i]) ++i;
    if (text) {
        const size_t start = i == 0 ? 0 : ma.rfind('\n', i - 1) + 1;  // npos + 1 == 0
        const long line = 1 + std::count(ma.begin(), ma.begin() + static_cast<std::ptrdiff_t>(start), '\n');
        return "line " + std::to_string(line) + "\n      A: " + line_from(a, start) + "\n      B: " + line_from(b, start);
    }
    char s[160];
    if (i < a.size() && i < b.size())
        std::snprintf(s, sizeof s, "byte %zu (A 0x%02x, B 0x%02x); sizes A %zu, B %zu", i,
                      static_cast<unsigned char>(a[i]), static_cast<unsigned char>(b[i]), a.size(), b.size());
    else
        std::snprintf(s, sizeof s, "byte %zu: one file ends there; sizes A %zu, B %zu", i, a.size(), b.size());
    return s;
}

std::set<std::string> entries(const fs::path& dir, bool dirs) {
    std::set<std::string> out;
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) return out;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.is_directory() == dirs) out.insert(e.path().filename().string());
    return out;
}

// Relative paths of every regular file below `dir`.
std::set<std::string> files_below(const fs::path& dir) {
    std::set<std::string> out;
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) return out;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file()) out.insert(fs::relative(e.path(), dir).string());
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: tree_diff DIR_A DIR_B\n");
        return 2;
    }
    const fs::path A = argv[1], B = argv[2];
    std::set<std::string> families = entries(A, true);
    for (const auto& f : entries(B, true)) families.insert(f);
    long masked_lines = 0, all_runs = 0, all_files = 0, all_same = 0, all_diff = 0;
    std::printf("%-20s %6s %7s %10s %10s\n", "family", "runs", "files", "identical", "different");
    for (const std::string& fam : families) {
        std::set<std::string> runs = entries(A / fam, true);
        for (const auto& r : entries(B / fam, true)) runs.insert(r);
        long files = 0, same = 0, diff = 0;
        std::string first;
        for (const std::string& run : runs) {
            const fs::path ra = A / fam / run, rb = B / fam / run;
            std::set<std::string> names = files_below(ra);
            for (const auto& n : files_below(rb)) names.insert(n);
            if (names.empty() && fs::is_directory(ra) != fs::is_directory(rb)) {
                ++diff;
                if (first.empty()) first = run + ": the run is on one side only";
            }
            for (const std::string& n : names) {
                ++files;
                const bool in_a = fs::exists(ra / n), in_b = fs::exists(rb / n);
                std::string why;
                if (!in_a || !in_b) {
                    why = std::string("only in ") + (in_a ? "A" : "B");
                } else {
                    const std::string a = read_all(ra / n), b = read_all(rb / n);
                    std::string ma = a, mb = b;
                    if (n.size() > 4 && n.compare(n.size() - 4, 4, ".PNT") == 0) {
                        mask_time_lines(ma, masked_lines);
                        mask_time_lines(mb, masked_lines);
                    }
                    if (ma != mb) why = first_difference(a, b, ma, mb, is_text(n));
                }
                if (why.empty()) {
                    ++same;
                } else {
                    ++diff;
                    if (first.empty()) first = run + "/" + n + ": " + why;
                }
            }
        }
        std::printf("%-20s %6zu %7ld %10ld %10ld\n", fam.c_str(), runs.size(), files, same, diff);
        if (!first.empty()) std::printf("    first difference: %s/%s\n", fam.c_str(), first.c_str());
        all_runs += static_cast<long>(runs.size());
        all_files += files;
        all_same += same;
        all_diff += diff;
    }
    std::printf("%-20s %6ld %7ld %10ld %10ld\n", "all", all_runs, all_files, all_same, all_diff);
    std::printf("time-of-day fields masked: %ld lines \"    hh:mm:ss    hh:mm:ss\" in print files (both sides)\n",
                masked_lines);
    if (families.empty()) {
        std::printf("no runs found\n");
        return 1;
    }
    if (all_diff == 0)
        std::printf("all files identical\n");
    else
        std::printf("DIFFERENT: %ld files\n", all_diff);
    return all_diff == 0 ? 0 : 1;
}
