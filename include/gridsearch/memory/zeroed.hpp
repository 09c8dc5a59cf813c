// Zero-filled memory whose untouched pages cost nothing.
//
// Large blocks come straight from the kernel as anonymous mappings, so a search
// pays only for the pages it writes; small blocks use calloc. A block can hand
// its memory over to another owner (a NumPy array, say), which frees it with
// ZeroedBlock::free.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdlib>
#include <new>
#include <utility>

namespace gridsearch {

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
    ~ZeroedBlock() { give_back(ptr_, bytes_, mapped_); }

    template <class T>
    T* as() const { return static_cast<T*>(ptr_); }

    std::size_t size() const { return bytes_; }

    // The memory and how to free it, for an owner outside this block.
    struct Owner {
        void* ptr;
        std::size_t bytes;
        bool mapped;
    };
    // Hands the memory over; the block is empty afterwards.
    Owner release() noexcept {
        Owner o{ptr_, bytes_, mapped_};
        ptr_ = nullptr;
        bytes_ = 0;
        mapped_ = false;
        return o;
    }
    static void free(const Owner& o) noexcept { give_back(o.ptr, o.bytes, o.mapped); }

private:
    static void give_back(void* p, std::size_t bytes, bool mapped) noexcept {
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
