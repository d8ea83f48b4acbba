#include "recording/BlockWriter.h"

namespace vintrel {

BlockWriter::BlockWriter() : thread_([this] { Run(); }) {}

BlockWriter::~BlockWriter() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

bool BlockWriter::WriteAt(File& file, const uint8_t* p, size_t n, uint64_t at, int& error) {
    int cause = 0;
    if (file.WriteAt(p, n, at, cause) == n) return true;
    if (!error) error = cause;
    return false;
}

void BlockWriter::Submit(Job& job) {
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return count_ < kQueue; });
    job.done = false;
    job.error = 0;
    queue_[(head_ + count_++) % kQueue] = &job;
    lock.unlock();
    wake_.notify_one();
}

void BlockWriter::Wait(Job& job) {
    std::unique_lock lock(mutex_);
    done_.wait(lock, [&job] { return job.done; });
}

void BlockWriter::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || count_ > 0; });
        if (count_ == 0) return; // stopping with nothing left to write
        Job* job = queue_[head_];
        head_ = (head_ + 1) % kQueue;
        --count_;
        lock.unlock();
        int error = 0;
        if (WriteAt(*job->file, job->data, job->len, job->offset, error)) {
            // The disk starts on these bytes now, while the parse goes on, instead of all at once later.
            job->file->StartWriteBack(job->offset, job->len);
        }
        lock.lock();
        job->error = error;
        job->done = true;
        done_.notify_all();
    }
}

} // namespace vintrel
