#pragma once
// The private memory of one estimator object: blocks mapped from the system, zero-filled,
// handed out by bumping a pointer and given back all at once. The first block is 1 MiB; more
// blocks are mapped as needed. No locking: an object has one caller thread at a time.
#include <cstddef>

namespace quendel {

class Arena {
public:
    static constexpr size_t kInitialBytes = size_t(1) << 20;

    // A new arena whose bookkeeping lives in its own first block; nullptr when that block
    // cannot be mapped.
    static Arena* Create(size_t initialBytes = kInitialBytes);
    // Unmaps every block, the arena itself included.
    static void Release(Arena* arena);

    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;

    // `bytes` zero-filled bytes aligned to 64; nullptr when no block can be mapped.
    void* Alloc(size_t bytes);
    template <typename T> T* AllocArray(size_t count) { return static_cast<T*>(Alloc(count * sizeof(T))); }

    // Bytes mapped from the system for this arena (its whole footprint) and bytes handed out.
    size_t BytesMapped() const { return mapped_; }
    size_t BytesUsed() const { return used_; }

private:
    struct Block {
        Block* next; // the previously filled block
        size_t size;
        size_t used;
    };
    Arena() = default;
    static Block* MapBlock(size_t bytes);

    Block* head_ = nullptr;
    size_t mapped_ = 0;
    size_t used_ = 0;
};

} // namespace quendel
