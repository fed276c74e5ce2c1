// Tables of the solver state whose extents a program sets when it starts.
//
// The decomposition library sizes them once, at the fixed maxima of its
// tables; kavmpi sizes them from the extents of its input set.  A table is
// one zero-filled block (pages never touched cost nothing) addressed with the
// index notation of the routines: a[i], a[i][j] and a[i][j][k], every index
// running from 0 to its extent minus 1, the last index fastest.
//
// Indexing is not checked in optimised builds.  Debug builds check the
// leading indices of a[i] and a[i][j] against their extents here, and the
// element accessors of the states (t, acpl, tm, xres, xcur) check the last
// one, so that a routine that reaches past what a program sized fails at
// the first such access instead of reading another row of the table.
#pragma once

#include <cassert>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace kav::solver {

namespace detail {

// One zero-filled block of n items (nothing for n = 0).
template <class T>
class Block {
public:
    Block() = default;
    ~Block() { std::free(p_); }
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;

    void resize(int64_t n) {
        std::free(p_);
        p_ = nullptr;
        n_ = 0;
        if (n <= 0) return;
        p_ = static_cast<T*>(std::calloc(static_cast<size_t>(n), sizeof(T)));
        if (p_ == nullptr) throw std::bad_alloc();
        n_ = n;
    }
    T* data() const { return p_; }
    int64_t size() const { return n_; }

private:
    T* p_ = nullptr;
    int64_t n_ = 0;
};

}  // namespace detail

// a[i], i = 0..n-1.
template <class T>
class Table1 {
public:
    void resize(int64_t n) { b_.resize(n); }
    int64_t extent() const { return b_.size(); }
    T& operator[](int64_t i) const {
        assert(i >= 0 && i < b_.size());
        return b_.data()[i];
    }
    T* data() const { return b_.data(); }

private:
    detail::Block<T> b_;
};

// a[i][j], i = 0..n1-1, j = 0..n2-1; a[i] is row i, n2 contiguous items.
template <class T>
class Table2 {
public:
    void resize(int64_t n1, int64_t n2) {
        n1_ = n1 > 0 ? n1 : 0;
        n2_ = n2 > 0 ? n2 : 0;
        b_.resize(n1_ * n2_);
    }
    int64_t extent1() const { return n1_; }
    int64_t extent2() const { return n2_; }
    T* operator[](int64_t i) const {
        assert(i >= 0 && i < n1_);
        return b_.data() + i * n2_;
    }
    T* data() const { return b_.data(); }
    int64_t size() const { return b_.size(); }

private:
    detail::Block<T> b_;
    int64_t n1_ = 0, n2_ = 0;
};

// a[i][j][k]; a[i][j] is a row of n3 contiguous items.
template <class T>
class Table3 {
public:
    class Plane {
    public:
        Plane(T* p, int64_t n2, int64_t n3) : p_(p), n2_(n2), n3_(n3) {}
        T* operator[](int64_t j) const {
            assert(j >= 0 && j < n2_);
            (void)n2_;
            return p_ + j * n3_;
        }

    private:
        T* p_;
        int64_t n2_, n3_;
    };

    void resize(int64_t n1, int64_t n2, int64_t n3) {
        n1_ = n1 > 0 ? n1 : 0;
        n2_ = n2 > 0 ? n2 : 0;
        n3_ = n3 > 0 ? n3 : 0;
        b_.resize(n1_ * n2_ * n3_);
    }
    int64_t extent1() const { return n1_; }
    int64_t extent2() const { return n2_; }
    int64_t extent3() const { return n3_; }
    Plane operator[](int64_t i) const {
        assert(i >= 0 && i < n1_);
        return Plane(b_.data() + i * n2_ * n3_, n2_, n3_);
    }

private:
    detail::Block<T> b_;
    int64_t n1_ = 0, n2_ = 0, n3_ = 0;
};

}  // namespace kav::solver
