// Zero-filled memory whose untouched pages cost nothing.
//
// Large blocks come straight from the kernel as anonymous mappings, so a search
// pays only for the pages it writes; small blocks use calloc. A block can hand
// its memory over to a NumPy array, which then frees it.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <sys/mman.h>

#include <cstddef>
#include <cstdlib>
#include <new>
#include <utility>

namespace gridsearch {

namespace py = pybind11;

class ZeroedBlock {
public:
#ifdef GRIDSEARCH_HEAP_ONLY
    static constexpr std::size_t MAP_THRESHOLD = ~std::size_t(0);
#else
    static constexpr std::size_t MAP_THRESHOLD = std::size_t(1) << 20;
#endif

    ZeroedBlock() = default;
    explicit ZeroedBlock(std::size_t bytes) : bytes_(bytes) {
        if (bytes == 0) bytes = 1;
        if (bytes >= MAP_THRESHOLD) {
            void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (p == MAP_FAILED) throw std::bad_alloc();
            ptr_ = p;
            mapped_ = true;
        } else {
            ptr_ = std::calloc(bytes, 1);
            if (ptr_ == nullptr) throw std::bad_alloc();
        }
    }
    ZeroedBlock(const ZeroedBlock&) = delete;
    ZeroedBlock& operator=(const ZeroedBlock&) = delete;
    ZeroedBlock(ZeroedBlock&& o) noexcept { swap(o); }
    ZeroedBlock& operator=(ZeroedBlock&& o) noexcept {
        ZeroedBlock tmp(std::move(o));
        swap(tmp);
        return *this;
    }
    ~ZeroedBlock() { release(ptr_, bytes_, mapped_); }

    template <class T>
    T* as() const { return static_cast<T*>(ptr_); }

    // Gives the memory to a capsule that frees it when its owner goes away.
    py::capsule to_capsule() {
        auto* owner = new Owner{ptr_, bytes_, mapped_};
        py::capsule cap;
        try {
            cap = py::capsule(owner, [](void* o) {
                auto* own = static_cast<Owner*>(o);
                release(own->ptr, own->bytes, own->mapped);
                delete own;
            });
        } catch (...) {
            delete owner;
            throw;
        }
        ptr_ = nullptr;
        return cap;
    }

private:
    struct Owner {
        void* ptr;
        std::size_t bytes;
        bool mapped;
    };

    static void release(void* p, std::size_t bytes, bool mapped) {
        if (p == nullptr) return;
        if (mapped)
            munmap(p, bytes == 0 ? 1 : bytes);
        else
            std::free(p);
    }

    void swap(ZeroedBlock& o) noexcept {
        std::swap(ptr_, o.ptr_);
        std::swap(bytes_, o.bytes_);
        std::swap(mapped_, o.mapped_);
    }

    void* ptr_ = nullptr;
    std::size_t bytes_ = 0;
    bool mapped_ = false;
};

}  // namespace gridsearch
