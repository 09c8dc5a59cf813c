// Binary heap over a growable array with a fixed tie order.
//
// `Sinks(a, b)` is true when a belongs below b. Push sifts up while the parent
// sinks below the new entry. Pop moves the hole from the root to a leaf, taking
// the right child unless it sinks below the left one (ties go right), then
// sifts the former last entry up from there. Equal entries therefore come out
// in one well-defined order on every platform.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace gridsearch {

template <class T, class Sinks>
class Heap {
public:
    bool empty() const { return a_.empty(); }
    void clear() { a_.clear(); }
    std::size_t size() const { return a_.size(); }
    const T& top() const { return a_[0]; }

    void push(const T& e) {
        a_.push_back(e);
        sift_up(a_.size() - 1, e);
    }

    // Removes the root; the caller reads top() first.
    void pop() {
        const std::size_t n = a_.size();
        if (n == 1) {
            a_.pop_back();
            return;
        }
        T v = a_[n - 1];
        const std::size_t len = n - 1;
        std::size_t k = 0;
        Sinks sinks;
        while (k < (len - 1) / 2) {
            // Branch-free choice: the right child unless it sinks below the left.
            const std::size_t child = 2 * k + 2 - static_cast<std::size_t>(sinks(a_[2 * k + 2], a_[2 * k + 1]));
            a_[k] = a_[child];
            k = child;
        }
        if ((len & 1) == 0 && k == (len - 2) / 2) {
            std::size_t child = 2 * k + 1;
            a_[k] = a_[child];
            k = child;
        }
        sift_up(k, v);
        a_.pop_back();
    }

private:
    void sift_up(std::size_t k, const T& v) {
        Sinks sinks;
        while (k > 0) {
            std::size_t p = (k - 1) / 2;
            if (!sinks(a_[p], v)) break;
            a_[k] = a_[p];
            k = p;
        }
        a_[k] = v;
    }

    std::vector<T> a_;
};

// The same heap ordered by a double key f alone, with the keys held apart from
// the payloads: the hole's walk down compares only keys, so it reads two
// adjacent doubles per level from a compact array. Slot 0 of the key array is
// unused, which puts every pair of siblings in one aligned 16-byte block.
// Ties go exactly as in a Heap whose Sinks(a, b) is a.f > b.f.
template <class P>
class FHeap {
public:
    FHeap() : f_(1, 0.0) {}
    bool empty() const { return p_.empty(); }
    void clear() {
        f_.resize(1);
        p_.clear();
    }
    std::size_t size() const { return p_.size(); }
    double top_f() const { return f_[1]; }
    double top_key() const { return f_[1]; }
    const P& top() const { return p_[0]; }
    // Payload k in storage order.
    const P& at(std::size_t k) const { return p_[k]; }

    void push(double f, const P& p) {
        f_.push_back(f);
        p_.push_back(p);
        sift_up(p_.size() - 1, f, p);
    }

    // Removes the root; the caller reads top() first.
    void pop() {
        const std::size_t n = p_.size();
        if (n == 1) {
            f_.pop_back();
            p_.pop_back();
            return;
        }
        double* key = f_.data() + 1;
        P* pay = p_.data();
        const double vf = key[n - 1];
        const P vp = pay[n - 1];
        const std::size_t len = n - 1;
        std::size_t k = 0;
        while (k < (len - 1) / 2) {
            // The right child unless it sinks below the left.
            const std::size_t child = 2 * k + 2 - static_cast<std::size_t>(key[2 * k + 2] > key[2 * k + 1]);
            key[k] = key[child];
            pay[k] = pay[child];
            k = child;
        }
        if ((len & 1) == 0 && k == (len - 2) / 2) {
            const std::size_t child = 2 * k + 1;
            key[k] = key[child];
            pay[k] = pay[child];
            k = child;
        }
        sift_up(k, vf, vp);
        f_.pop_back();
        p_.pop_back();
    }

private:
    void sift_up(std::size_t k, double vf, const P& vp) {
        double* key = f_.data() + 1;
        P* pay = p_.data();
        while (k > 0) {
            const std::size_t p = (k - 1) / 2;
            if (!(key[p] > vf)) break;
            key[k] = key[p];
            pay[k] = pay[p];
            k = p;
        }
        key[k] = vf;
        pay[k] = vp;
    }

    std::vector<double> f_;
    std::vector<P> p_;
};

}  // namespace gridsearch

namespace gridsearch {

// A radix heap (Ahuja, Mehlhorn, Orlin and Tarjan, 1990) for the planner's
// searches whose keys never fall below the last key popped (A* with a
// consistent estimate, Dijkstra): keys are non-negative doubles (-0.0 taken
// as 0), compared as their bit patterns. A key below the last one popped (an ULP of rounding in
// g + h) is taken as equal to it. Entries of equal key come out last in,
// first out, so the order is fixed by the pushes alone.
template <class P>
class RadixHeap {
public:
    bool empty() const { return size_ == 0; }
    std::size_t size() const { return size_; }
    void clear() {
        for (auto& b : b_) b.clear();
        used_ = 0;
        last_ = 0;
        size_ = 0;
        cursor_ = {0, 0};
    }

    void push(double f, const P& p) {
        f += 0.0;  // -0.0 is 0: its bit pattern would rank above every positive key
        uint64_t k;
        std::memcpy(&k, &f, sizeof k);
        if (k < last_) k = last_;
        const int i = bucket(k);
        b_[i].push_back({k, p});
        if (i != 0) used_ |= uint64_t(1) << (i - 1);
        ++size_;
    }
    // The entry with the smallest key; not const: it may redistribute a bucket.
    const P& top() {
        refill();
        return b_[0].back().p;
    }
    // The entry top() would return when that needs no redistribution, else
    // null; changes nothing (top() may raise the floor for later pushes).
    const P* peek() const { return b_[0].empty() ? nullptr : &b_[0].back().p; }
    // The smallest key, as pushed (or the last key popped, for a key pushed below it).
    double top_key() {
        refill();
        double f;
        std::memcpy(&f, &last_, sizeof f);
        return f;
    }
    void pop() {
        refill();
        b_[0].pop_back();
        --size_;
    }
    // Entry k of some fixed order of all entries (read in sequence).
    const P& at(std::size_t k) const {
        if (k < cursor_.first) cursor_ = {0, 0};
        while (k - cursor_.first >= b_[cursor_.second].size()) {
            cursor_.first += b_[cursor_.second].size();
            ++cursor_.second;
        }
        return b_[cursor_.second][k - cursor_.first].p;
    }

private:
    struct Entry {
        uint64_t key;
        P p;
    };
    int bucket(uint64_t k) const { return k == last_ ? 0 : 64 - __builtin_clzll(k ^ last_); }
    // When bucket 0 is empty: the least key of the lowest non-empty bucket
    // becomes the last key, and that bucket's entries move below it.
    void refill() {
        if (!b_[0].empty()) return;
        const int i = 1 + __builtin_ctzll(used_);
        std::vector<Entry>& from = b_[i];
        uint64_t least = from[0].key;
        for (const Entry& e : from) least = e.key < least ? e.key : least;
        last_ = least;
        for (const Entry& e : from) {
            const int j = bucket(e.key);
            b_[j].push_back(e);
            if (j != 0) used_ |= uint64_t(1) << (j - 1);
        }
        from.clear();
        used_ &= ~(uint64_t(1) << (i - 1));
    }

    std::vector<Entry> b_[65];
    uint64_t used_ = 0;  // bit i - 1 set: bucket i holds entries
    uint64_t last_ = 0;
    std::size_t size_ = 0;
    mutable std::pair<std::size_t, std::size_t> cursor_{0, 0};  // (entries before, bucket)
};

}  // namespace gridsearch
