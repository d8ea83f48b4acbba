#pragma once
// Writes buffers into files in a thread of its own, so that the kernel's copying of one file's
// data overlaps the parse filling the next buffer, and starts the disk on each block written.
//
// Threads: Submit and Wait run on the thread that owns the files (the one parsing a record); the
// writer thread only performs the writes it was handed and marks them done. The queue and every
// job's done/error fields are guarded by mutex_.
#include "recording/FileSystem.h"

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

namespace vintrel {

class BlockWriter {
public:
    struct Job {
        File* file = nullptr;
        const uint8_t* data = nullptr;
        size_t len = 0;
        uint64_t offset = 0;
        bool done = true; // guarded by the writer's mutex
        int error = 0;    // errno of a failed write; valid once done
    };

    BlockWriter();
    ~BlockWriter();
    BlockWriter(const BlockWriter&) = delete;
    BlockWriter& operator=(const BlockWriter&) = delete;

    // Queues the job; it and its data must stay untouched until Wait returns for it.
    void Submit(Job& job);
    // Returns once the job is written (at once for a job never submitted).
    void Wait(Job& job);

    // Writes all of data at offset; false with `error` set (when still 0) otherwise.
    static bool WriteAt(File& file, const uint8_t* data, size_t n, uint64_t offset, int& error);

private:
    void Run();

    static constexpr size_t kQueue = 128;
    std::mutex mutex_;
    std::condition_variable wake_, done_;
    std::array<Job*, kQueue> queue_{};
    size_t head_ = 0, count_ = 0;
    bool stop_ = false;
    std::thread thread_;
};

} // namespace vintrel
