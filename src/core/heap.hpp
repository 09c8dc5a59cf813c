// Binary heap over a growable array with a fixed tie order.
//
// `Sinks(a, b)` is true when a belongs below b. Push sifts up while the parent
// sinks below the new entry. Pop moves the hole from the root to a leaf, taking
// the right child unless it sinks below the left one (ties go right), then
// sifts the former last entry up from there. Equal entries therefore come out
// in one well-defined order on every platform.
#pragma once

#include <cstddef>
#include <vector>

namespace gridsearch {

template <class T, class Sinks>
class Heap {
public:
    bool empty() const { return a_.empty(); }
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

// Orders by f alone: the open lists of every search.
struct SinksByF {
    template <class T>
    bool operator()(const T& a, const T& b) const { return a.f > b.f; }
};

}  // namespace gridsearch
