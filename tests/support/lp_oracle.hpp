// A small independent LP/MIP solver for the tests, built on GLPK:
// maximise c'x subject to rows (<=, =, >=) and column bounds, with optional
// integrality.
#pragma once

#include <limits>
#include <vector>

namespace kav::test {

constexpr double LP_INF = std::numeric_limits<double>::infinity();

struct LpRow {
    std::vector<double> a;  // one coefficient per column
    char type;              // 'L' (<=), 'E' (=), 'G' (>=)
    double rhs;
};

struct LpProblem {
    std::vector<double> c;      // objective, one per column (maximised)
    std::vector<LpRow> rows;
    std::vector<double> lb;     // per column (default 0)
    std::vector<double> ub;     // per column (default LP_INF)
    std::vector<bool> integer;  // per column (default continuous)
};

enum class LpStatus { optimal, infeasible, unbounded, other };

struct LpResult {
    LpStatus status = LpStatus::other;
    double obj = 0.0;
    std::vector<double> x;
};

LpResult solve_lp(const LpProblem& p);

}  // namespace kav::test
