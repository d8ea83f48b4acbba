#pragma once
// The receive ring's reader for an open FTDI adapter: FT_Read with the adapter's read time-out
// (kFtdiReadTimeoutMs, 20 ms), so a read returns what arrived within that time, possibly
// short, possibly nothing. The time-out bounds the whole FT_Read call, however many bytes are
// asked for, so one call per read is enough to keep Cancel prompt: a cancel that comes during
// the call takes effect when it returns, at most the time-out later.
//
// Threads: only the transport thread calls Read; Cancel may come from any thread. D2XX has no
// way to wake a running FT_Read, and closing the handle under it is not safe.
#include "connection/Ftdi.h"
#include "stream/MessageSink.h"
#include "stream/Transport.h"

#include <atomic>

namespace vintrel {

class FtdiTransport final : public Transport {
public:
    // The binding and the sink must outlive the transport; the handle stays owned by the caller.
    FtdiTransport(const Ftdi& ftdi, FT_HANDLE handle, MessageSink* sink = nullptr)
        : ftdi_(ftdi), handle_(handle), sink_(sink) {}

    // The count FT_Read returns decides what was read: a failed or unbound read gives Got = 0,
    // which the transport thread treats as silence. A failed status with nothing read (the
    // adapter was unplugged) is also posted once (WM_LINK_LOST) until bytes come again, so that
    // the window counts the link as lost. After Cancel no FT_Read is
    // started and reads return Failed with nothing; the read whose FT_Read was running when
    // Cancel came returns Failed with what that call brought.
    TransportRead Read(uint8_t* dst, uint32_t len, bool firstPart) override;
    void Cancel() override { cancelled_.store(true, std::memory_order_release); }
    // The adapter's count of received bytes not read yet (FT_GetQueueStatus; 0 without it).
    uint32_t Pending() const override;

private:
    const Ftdi& ftdi_;
    FT_HANDLE handle_;
    MessageSink* sink_;
    std::atomic<bool> cancelled_{false};
    bool lost_ = false; // transport thread only
};

} // namespace vintrel
