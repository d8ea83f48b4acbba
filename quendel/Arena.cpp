#include "quendel/Arena.h"

#include <new>
#include <sys/mman.h>
#include <unistd.h>

namespace quendel {

namespace {
constexpr size_t kAlign = 64;
constexpr size_t kHeader = 64; // a block's bookkeeping, rounded up to the alignment

size_t RoundUp(size_t v, size_t to) {
    return (v + to - 1) / to * to;
}

size_t PageSize() {
    const long p = sysconf(_SC_PAGESIZE);
    return p > 0 ? size_t(p) : 4096;
}
} // namespace

Arena::Block* Arena::MapBlock(size_t bytes) {
    const size_t size = RoundUp(bytes, PageSize());
    if (size < bytes) return nullptr; // wrapped
    void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return nullptr;
    Block* b = static_cast<Block*>(p); // fresh anonymous pages read as zeros
    b->next = nullptr;
    b->size = size;
    b->used = kHeader;
    return b;
}

Arena* Arena::Create(size_t initialBytes) {
    Block* first =
        MapBlock(initialBytes < 2 * kHeader + sizeof(Arena) ? 2 * kHeader + sizeof(Arena) : initialBytes);
    if (!first) return nullptr;
    Arena* a = new (reinterpret_cast<char*>(first) + kHeader) Arena();
    first->used = kHeader + RoundUp(sizeof(Arena), kAlign);
    a->head_ = first;
    a->mapped_ = first->size;
    a->used_ = first->used;
    return a;
}

void* Arena::Alloc(size_t bytes) {
    const size_t need = RoundUp(bytes ? bytes : 1, kAlign);
    if (need < bytes) return nullptr;
    if (head_->size - head_->used < need) {
        // A new block for this request and the ones after it; the rest of the old one stays unused.
        const size_t size = need + kHeader > kInitialBytes ? need + kHeader : kInitialBytes;
        if (size < need) return nullptr;
        Block* b = MapBlock(size);
        if (!b) return nullptr;
        b->next = head_;
        head_ = b;
        mapped_ += b->size;
    }
    void* p = reinterpret_cast<char*>(head_) + head_->used;
    head_->used += need;
    used_ += need;
    return p;
}

void Arena::Release(Arena* arena) {
    if (!arena) return;
    Block* b = arena->head_;
    arena->~Arena(); // trivial, but the object ends here: its memory goes with the first block
    while (b) {
        Block* next = b->next;
        munmap(b, b->size);
        b = next;
    }
}

} // namespace quendel
