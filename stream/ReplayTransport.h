#pragma once
// Transports over bytes already captured: a block of memory or a file. Each read returns at
// most `maxRead` bytes, so tests can split a stream into arbitrary pieces.
#include "stream/Transport.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace vintrel {

class MemoryTransport : public Transport {
public:
    explicit MemoryTransport(std::vector<uint8_t> bytes, uint32_t maxRead = 0xFFFFFFFF)
        : bytes_(std::move(bytes)), maxRead_(maxRead) {}
    TransportRead Read(uint8_t* dst, uint32_t len, bool firstPart) override;
    // The bytes not read yet wait at the transport, as at a socket.
    uint32_t Pending() const override {
        return uint32_t(std::min<size_t>(bytes_.size() - pos_.load(std::memory_order_acquire), UINT32_MAX));
    }
    bool Exhausted() const { return pos_.load(std::memory_order_acquire) >= bytes_.size(); }

private:
    std::vector<uint8_t> bytes_;
    std::atomic<size_t> pos_{0}; // written by the reading thread only
    uint32_t maxRead_;
};

class FileTransport : public Transport {
public:
    FileTransport() = default;
    ~FileTransport() override;
    FileTransport(const FileTransport&) = delete;
    FileTransport& operator=(const FileTransport&) = delete;

    // False with the system's reason in `error` when the file cannot be opened. "-" reads the
    // standard input, which cannot seek.
    bool Open(const std::string& path, std::string& error);
    // Reads up to `n` bytes ahead without consuming them (kept for Read), so a stream that cannot
    // seek can still be looked at first. Call once, before the first Read.
    const std::vector<uint8_t>& LookAhead(size_t n);
    TransportRead Read(uint8_t* dst, uint32_t len, bool firstPart) override;
    bool Exhausted() const { return eof_; }
    bool Failed() const { return failed_; }

private:
    std::FILE* f_ = nullptr;
    bool ownsFile_ = false;
    std::vector<uint8_t> ahead_; // bytes read by LookAhead, served first
    size_t aheadPos_ = 0;
    bool eof_ = false;
    bool failed_ = false;
};

} // namespace vintrel
