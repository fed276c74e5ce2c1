// Decomposition problems in plain form (maximise c.x subject to a.x <= b
// per subproblem, common rows across them) and their host arguments written
// by the host rules, with the seeded generators of the random families.
// Host side only: nothing here uses the library's own code.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "host.hpp"

namespace kav::test {

// One subproblem in plain form: maximise c.x subject to rows a.x <= b;
// variables 1..nz are 0-Z (bounded by the weight), the rest continuous.
struct PlainSub {
    int nz = 0;
    std::vector<double> c;                // per variable
    std::vector<std::vector<double>> a;   // own rows
    std::vector<double> b;
};

struct PlainProblem {
    std::vector<PlainSub> subs;
    std::vector<std::vector<std::vector<double>>> cpl;  // [row][sub][variable]
    std::vector<double> rhs;                            // per common row
    int16_t kcode = 501;
};

// Writes the plain problem as the host rules ask: columns (rhs, variables,
// weight), rows (profits, own rows, weight row of type 0), coupling rows
// (profits, common rows, a last row of zeros).
inline Problem to_host(const PlainProblem& pp, int seed) {
    Problem p;
    p.nsub = static_cast<int16_t>(pp.subs.size());
    p.ncres = 0;
    p.nlevel = 0;
    const int nc = static_cast<int>(pp.rhs.size());
    const int16_t ncrow = static_cast<int16_t>(nc + 2);
    for (size_t k = 0; k < pp.subs.size(); ++k) {
        const PlainSub& ps = pp.subs[k];
        const int nv = static_cast<int>(ps.c.size());
        const int16_t ncol = static_cast<int16_t>(nv + 2);
        const int16_t nrow = static_cast<int16_t>(ps.a.size() + 2);
        Sub s = Sub::sized(nrow, ncol, static_cast<int16_t>(ps.nz), ncrow, 0);
        s.kcode = pp.kcode;
        for (int v = 1; v <= nv; ++v) {
            s.A(1, v + 1) = ps.c[v - 1];
            s.C(1, v + 1) = ps.c[v - 1];
        }
        s.type[0] = 0;
        for (size_t r = 0; r < ps.a.size(); ++r) {
            const int i = static_cast<int>(r) + 2;
            s.type[i - 1] = 1;
            s.A(i, 1) = ps.b[r];
            for (int v = 1; v <= nv; ++v) s.A(i, v + 1) = ps.a[r][v - 1];
        }
        s.type[nrow - 1] = 0;
        s.A(nrow, 1) = 1.0;
        s.A(nrow, ncol) = 1.0;
        for (int r = 0; r < nc; ++r)
            for (int v = 1; v <= nv; ++v) s.C(r + 2, v + 1) = pp.cpl[r][k][v - 1];
        p.subs.push_back(std::move(s));
    }
    p.itypcr.assign(static_cast<size_t>(ncrow), 0);
    p.crval.assign(static_cast<size_t>(ncrow), 0.0);
    for (int r = 0; r < nc; ++r) {
        p.itypcr[r + 1] = 1;
        p.crval[r + 1] = pp.rhs[r];
    }
    p.fill_passthrough(seed);
    return p;
}

// Every variable from `first` (0-based) on gets a row that bounds it: one
// with a positive entry in its column, else a 1 in the first row.
inline void bound_by_a_row(PlainSub& s, int first) {
    for (int v = first; v < static_cast<int>(s.c.size()); ++v) {
        bool covered = false;
        for (const auto& row : s.a) covered = covered || row[v] > 0.0;
        if (!covered) s.a[0][v] = 1.0;
    }
}

// A random problem: 2..6 subproblems, 1..4 common rows, 0-Z and continuous
// variables, nonnegative data (so every subproblem contains 0 and is bounded).
inline PlainProblem random_problem(std::mt19937& g) {
    auto uni = [&](int a, int b) { return std::uniform_int_distribution<int>(a, b)(g); };
    auto real = [&](double a, double b) { return std::uniform_real_distribution<double>(a, b)(g); };
    PlainProblem pp;
    const int nsub = uni(2, 6), nc = uni(1, 4);
    for (int k = 0; k < nsub; ++k) {
        PlainSub s;
        s.nz = uni(0, 3);
        const int nv = s.nz + uni(1, 3);
        for (int v = 0; v < nv; ++v) s.c.push_back(std::round(real(1.0, 10.0) * 4.0) / 4.0);
        // A subproblem has at least as many rows as the coupling matrix.
        const int nr = uni(nc, std::max(nc, 3));
        for (int r = 0; r < nr; ++r) {
            std::vector<double> row(nv);
            double sum = 0.0;
            for (int v = 0; v < nv; ++v) {
                row[v] = uni(0, 3) == 0 ? 0.0 : std::round(real(0.5, 5.0) * 4.0) / 4.0;
                sum += row[v];
            }
            s.a.push_back(row);
            s.b.push_back(std::round(real(0.3, 0.8) * (sum + 1.0) * 4.0) / 4.0 + 0.25);
        }
        bound_by_a_row(s, s.nz);  // every continuous variable
        pp.subs.push_back(std::move(s));
    }
    pp.cpl.assign(nc, {});
    for (int r = 0; r < nc; ++r) {
        double sum = 0.0;
        for (int k = 0; k < nsub; ++k) {
            std::vector<double> row(pp.subs[k].c.size());
            for (auto& x : row) {
                x = uni(0, 2) == 0 ? 0.0 : std::round(real(0.5, 4.0) * 4.0) / 4.0;
                sum += x;
            }
            pp.cpl[r].push_back(row);
        }
        pp.rhs.push_back(std::round(real(0.15, 0.45) * (sum + 1.0) * 4.0) / 4.0 + 0.5);
    }
    return pp;
}

// A random problem of at most `max_subs` subproblems (drawn again until it
// has no more).
inline PlainProblem random_problem_upto(std::mt19937& g, size_t max_subs) {
    for (;;) {
        PlainProblem pp = random_problem(g);
        if (pp.subs.size() <= max_subs) return pp;
    }
}

// The same problem without 0-Z variables; the former 0-Z variables get rows
// that bound them, so every subproblem stays bounded.
inline PlainProblem without_zo(PlainProblem pp) {
    for (auto& s : pp.subs) {
        s.nz = 0;
        bound_by_a_row(s, 0);
    }
    return pp;
}

// nsub subproblems of 4 variables (the first nz of them 0-Z) and 3 rows
// each, 2 common rows.
inline PlainProblem blocks(int nsub, int nz, unsigned seed) {
    std::mt19937 g(seed);
    auto real = [&](double a, double b) {
        return std::round(std::uniform_real_distribution<double>(a, b)(g) * 4.0) / 4.0;
    };
    PlainProblem pp;
    pp.kcode = 501;
    for (int k = 0; k < nsub; ++k) {
        PlainSub s;
        s.nz = nz;
        for (int v = 0; v < 4; ++v) s.c.push_back(real(1.0, 10.0));
        for (int r = 0; r < 3; ++r) {
            std::vector<double> row(4);
            double sum = 0.0;
            for (auto& x : row) sum += (x = real(0.5, 4.0));
            s.a.push_back(row);
            s.b.push_back(std::round(0.5 * sum * 4.0) / 4.0);
        }
        pp.subs.push_back(std::move(s));
    }
    pp.cpl.assign(2, {});
    for (int r = 0; r < 2; ++r) {
        double sum = 0.0;
        for (int k = 0; k < nsub; ++k) {
            std::vector<double> row(4);
            for (auto& x : row) sum += (x = real(0.5, 3.0));
            pp.cpl[r].push_back(row);
        }
        pp.rhs.push_back(std::round(0.1 * sum * 4.0) / 4.0);
    }
    return pp;
}

}  // namespace kav::test
