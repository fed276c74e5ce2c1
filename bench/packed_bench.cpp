// Packing and unpacking a 2400 x 2400 matrix with 10% nonzeros (random
// positions, fixed seed) to and from memory, and for comparison through a
// pair of sequential file units (one write or read per value and per run).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "packed.hpp"

namespace {

using namespace kav::packed;

constexpr int32_t DIM = 2400;

struct Fixture {
    std::vector<double> a;
    std::vector<double> values;
    std::vector<int16_t> words;
    Counts counts;

    Fixture() : a(static_cast<std::size_t>(DIM) * DIM, 0.0) {
        std::mt19937 rng(12345);
        std::uniform_real_distribution<double> u(0.0, 1.0);
        for (double& x : a)
            if (u(rng) < 0.1) x = u(rng) + 0.5;
        values.resize(a.size());
        words.resize(3 * (a.size() / 2 + 1));
        MemValueSink vs{values.data(), static_cast<int32_t>(values.size())};
        MemRunSink rs{words.data(), static_cast<int32_t>(words.size())};
        counts = pack(a.data(), DIM, DIM, DIM, vs, rs).counts;
    }
};

const Fixture& fixture() {
    static const Fixture f;
    return f;
}

void BM_Pack2400(benchmark::State& state) {
    const Fixture& f = fixture();
    std::vector<double> values(f.values.size());
    std::vector<int16_t> words(f.words.size());
    for (auto _ : state) {
        MemValueSink vs{values.data(), static_cast<int32_t>(values.size())};
        MemRunSink rs{words.data(), static_cast<int32_t>(words.size())};
        PackResult r = pack(f.a.data(), DIM, DIM, DIM, vs, rs);
        benchmark::DoNotOptimize(r);
        benchmark::ClobberMemory();
    }
    state.counters["nnz"] = f.counts.nnz;
    state.counters["runs"] = runs_in(f.counts.nixb);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(DIM) * DIM);
}
BENCHMARK(BM_Pack2400)->Unit(benchmark::kMillisecond);

void BM_Unpack2400(benchmark::State& state) {
    const Fixture& f = fixture();
    std::vector<double> out(f.a.size());
    for (auto _ : state) {
        MemValueSource vs{f.values.data(), f.counts.nnz};
        MemRunSource rs{f.words.data(), f.counts.nixb / 2};
        UnpackResult r = unpack(out.data(), DIM, DIM, DIM, vs, rs, f.counts.nixb);
        benchmark::DoNotOptimize(r);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(DIM) * DIM);
}
BENCHMARK(BM_Unpack2400)->Unit(benchmark::kMillisecond);

// Through files in a scratch folder under the system's temporary directory.
void BM_PackUnpackFile2400(benchmark::State& state) {
    const Fixture& f = fixture();
    std::string dir = (std::filesystem::temp_directory_path() / "kavbench-XXXXXX").string();
    if (mkdtemp(dir.data()) == nullptr) {
        state.SkipWithError("no scratch folder");
        return;
    }
    std::vector<double> out(f.a.size());
    kav::BinUnit vu, ru;
    if (vu.open(dir + "/TAB0.DAT") != 0 || ru.open(dir + "/1TAB0.DAT") != 0) {
        state.SkipWithError("open failed");
        return;
    }
    for (auto _ : state) {
        vu.seek(0);
        ru.seek(0);
        FileValueSink vs{vu};
        FileRunSink rs{ru};
        PackResult p = pack(f.a.data(), DIM, DIM, DIM, vs, rs);
        vu.seek(0);
        ru.seek(0);
        FileValueSource vsrc{vu};
        FileRunSource rsrc{ru};
        UnpackResult r = unpack(out.data(), DIM, DIM, DIM, vsrc, rsrc, p.counts.nixb);
        if (r.status != UnpackStatus::ok) state.SkipWithError("unpack failed");
        benchmark::DoNotOptimize(r);
    }
    vu.close();
    ru.close();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(DIM) * DIM);
}
BENCHMARK(BM_PackUnpackFile2400)->Unit(benchmark::kMillisecond);

}  // namespace
