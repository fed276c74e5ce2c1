// The corpus that scripts/compare-builds.sh runs through the deliverables of
// one build folder: a fixed list of runs, each with a data directory of its
// own, made by seeded generators so that every build gets the same problems.
// Host side only: the libraries are loaded with dlopen and called through
// their exported entries, kavmpi and the input-set writer are started as
// programs; nothing here knows a build's internals.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace kav::corpus {

// Where the deliverables of the build folder under test are.
struct Build {
    std::string decomp_so, single_so, mix_so, kavmpi, input_set_writer;
    std::string logs;  // the folder for the programs' own output (never compared)
};

// One run: `body` is called in a child process of its own, with the
// working directory and KAV_DATA_DIR set to the run's data directory `dir`.
struct Run {
    std::string family, name;
    std::function<void(const std::string& dir)> body;
    int slots = 1;       // job slots it takes (a kavmpi run starts several processes)
    int seconds = 120;   // the run is ended after this long
};

// The name of the i-th run of a family: r000, r001, ...
inline std::string run_name(int i) {
    char s[16];
    std::snprintf(s, sizeof s, "r%03d", i);
    return s;
}

// The families of each deliverable, appended in a fixed order.
void decomp_runs(const Build& b, std::vector<Run>& out);
void single_runs(const Build& b, std::vector<Run>& out);
void mix_runs(const Build& b, std::vector<Run>& out);
void kavmpi_runs(const Build& b, std::vector<Run>& out);

// Every run writes what the entries returned to this file of its data
// directory, so that the comparison covers the host's arguments too.
constexpr const char* RESULTS_FILE = "host-results.txt";

// Writes values exactly: doubles with 17 significant digits, floats with 9
// (both read back to the same bits), eight values to a line.
class Record {
public:
    explicit Record(const std::string& dir);
    ~Record();
    Record(const Record&) = delete;
    Record& operator=(const Record&) = delete;

    void text(const std::string& line);
    void values(const char* name, const double* v, size_t n);
    void values(const char* name, const float* v, size_t n);
    void values(const char* name, const int16_t* v, size_t n);
    void values(const char* name, const int32_t* v, size_t n);
    template <class T>
    void values(const char* name, const std::vector<T>& v) {
        values(name, v.data(), v.size());
    }

private:
    template <class T>
    void list(const char* name, const T* v, size_t n, const char* form);
    std::FILE* f_;
};

// A seeded source of the draws of one run.
struct Draw {
    std::mt19937 g;
    explicit Draw(unsigned seed) : g(seed) {}
    int operator()(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(g); }
    // A multiple of 0.25 in [lo, hi].
    double quarter(double lo, double hi) {
        return 0.25 * (*this)(static_cast<int>(lo * 4.0), static_cast<int>(hi * 4.0));
    }
};

// Runs `cmd` through the shell (its output goes to the run's log); returns
// its exit status (128 + signal when a signal ended it).
int shell(const std::string& cmd);

}  // namespace kav::corpus
