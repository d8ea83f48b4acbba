#include "sim/StreamPump.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>
#include <vector>

#include "connection/StopSignal.h"
#include "sim/Pacer.h"

namespace vintrel::sim {

namespace {

constexpr size_t kCoalesceBytes = 64 * 1024;
// Unpaced, frames are made in rounds of this many between looks at the stop flag.
constexpr uint64_t kUnpacedRound = 64;
// Longest single wait, so that a stop request is seen in good time whatever the signal interrupts.
constexpr int kPollSliceMs = 100;

int SocketError(int fd) {
    int err = 0;
    socklen_t len = sizeof err;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err == 0) return ECONNRESET;
    return err;
}

enum class WaitEnd { Due, Broken, Stopped };

// Sleeps until `deadline`. On a link it watches the peer meanwhile: input is dropped, and a
// hang-up or error ends the wait early.
WaitEnd WaitUntil(int fd, bool link, bool& inputOpen, Pacer::TimePoint deadline, int& error) {
    for (;;) {
        if (StopRequested()) return WaitEnd::Stopped;
        const auto now = Pacer::Clock::now();
        if (now >= deadline) return WaitEnd::Due;
        const auto left =
            std::min<std::chrono::nanoseconds>(deadline - now, std::chrono::milliseconds(kPollSliceMs));
        const timespec ts{static_cast<time_t>(left.count() / 1000000000),
                          static_cast<long>(left.count() % 1000000000)};
        pollfd p{fd, static_cast<short>(inputOpen ? POLLIN : 0), 0};
        const int n = ppoll(&p, link ? 1 : 0, &ts, nullptr);
        if (n <= 0) continue; // time-out, or EINTR from a stop signal
        if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) {
            error = SocketError(fd);
            return WaitEnd::Broken;
        }
        if ((p.revents & POLLIN) && !DiscardInput(fd)) inputOpen = false;
    }
}

bool PeerGoneErrno(int e) {
    return e == EPIPE || e == ECONNRESET || e == ECONNABORTED || e == ETIMEDOUT || e == EHOSTUNREACH ||
           e == ENETUNREACH || e == EIO;
}

} // namespace

bool DiscardInput(int fd) {
    uint8_t sink[4096];
    for (int i = 0; i < 64; ++i) { // bounded: a peer that sends without end gets its turn later
        const ssize_t n = read(fd, sink, sizeof sink);
        if (n > 0) continue;
        if (n == 0) return false;
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    }
    return true;
}

WriteStatus WriteAll(int fd, const uint8_t* data, size_t size, bool link, int& error, size_t* written) {
    bool inputOpen = link;
    size_t done = 0;
    // Every return goes through here, so that `written` is right whatever ended the write.
    auto finish = [&](WriteStatus status) {
        if (written) *written = done;
        return status;
    };
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n > 0) {
            data += n;
            size -= static_cast<size_t>(n);
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            if (StopRequested()) return finish(WriteStatus::Stopped);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (StopRequested()) return finish(WriteStatus::Stopped);
            pollfd p{fd, static_cast<short>(POLLOUT | (inputOpen ? POLLIN : 0)), 0};
            const int r = poll(&p, 1, kPollSliceMs);
            if (r > 0 && (p.revents & POLLIN) && !DiscardInput(fd)) inputOpen = false;
            // A hang-up without room to write: the next write reports the error. Should it not,
            // pause rather than spin on a descriptor that keeps reporting the same state.
            if (r > 0 && !(p.revents & (POLLOUT | POLLIN)))
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        error = n < 0 ? errno : EIO;
        return finish(WriteStatus::Failed);
    }
    return finish(WriteStatus::Done);
}

PumpResult PumpFrames(StreamGenerator& gen, int fd, const PumpSettings& s) {
    PumpResult r;
    bool inputOpen = s.link;
    std::vector<uint8_t> buf;
    buf.reserve(s.coalesce ? kCoalesceBytes + 65536 : 65536);

    // Writes the first `size` bytes of `buf`. A write that does not finish records how the pump
    // ended and how much of it went out (the cut).
    auto send = [&](size_t size) -> bool {
        size_t written = 0;
        int err = 0;
        const WriteStatus w =
            size == 0 ? WriteStatus::Done : WriteAll(fd, buf.data(), size, s.link, err, &written);
        r.bytes += written;
        if (w == WriteStatus::Done) return true;
        r.cutBytes = written;
        if (w == WriteStatus::Stopped) {
            r.end = PumpEnd::Stopped;
        } else {
            r.end = s.link && PeerGoneErrno(err) ? PumpEnd::PeerGone : PumpEnd::Failed;
            r.error = err;
        }
        return false;
    };
    // The frames in `buf` are counted as sent once the write that holds them has finished.
    DamageCounts pending;
    auto flush = [&]() -> bool {
        if (!send(buf.size())) return false;
        AddCounts(r.sent, pending);
        pending = DamageCounts{};
        buf.clear();
        return true;
    };

    Pacer pacer(gen.Format().MsPerFrame);
    pacer.Start(Pacer::Clock::now());
    while (r.frames < s.maxFrames) {
        if (StopRequested()) {
            r.end = PumpEnd::Stopped;
            return r;
        }
        uint64_t n = std::min(s.maxFrames - r.frames, kUnpacedRound);
        if (s.paced) {
            const auto now = Pacer::Clock::now();
            pacer.LimitLag(now);
            const uint64_t due = pacer.DueCount(now);
            if (due == 0) {
                const WaitEnd w = WaitUntil(fd, s.link, inputOpen, pacer.NextWake(), r.error);
                if (w == WaitEnd::Stopped) r.end = PumpEnd::Stopped;
                if (w == WaitEnd::Broken) r.end = PumpEnd::PeerGone;
                if (w != WaitEnd::Due) return r;
                continue;
            }
            n = std::min(s.maxFrames - r.frames, due);
        }
        for (uint64_t i = 0; i < n; ++i) {
            gen.AppendNextFrame(buf);
            AddFrame(pending, gen.LastFrame());
            ++r.frames;
            if ((!s.coalesce || buf.size() >= kCoalesceBytes) && !flush()) return r;
        }
        pacer.MarkSent(n);
    }
    if (!flush()) return r;
    if (s.cutAtEnd) {
        for (;;) {
            gen.AppendNextFrame(buf);
            ++r.frames;
            if (!buf.empty()) break;
            AddFrame(r.sent, gen.LastFrame()); // skipped: there is nothing of it to cut
        }
        const size_t keep = 1 + static_cast<size_t>(s.cutAtEnd->Next() % (buf.size() - 1));
        if (!send(keep)) return r;
        r.cutBytes = keep;
        buf.clear();
    }
    r.end = PumpEnd::Limit;
    return r;
}

void AddCounts(DamageCounts& t, const DamageCounts& m) {
    t.framesGenerated += m.framesGenerated;
    t.framesEmitted += m.framesEmitted;
    t.badChecksums += m.badChecksums;
    t.skippedFrames += m.skippedFrames;
    t.garbageBursts += m.garbageBursts;
    t.garbageBytes += m.garbageBytes;
    t.unknownTags += m.unknownTags;
    t.damagedFrames += m.damagedFrames;
}

void AddFrame(DamageCounts& c, const FrameRecord& f) {
    ++c.framesGenerated;
    if (f.garbageBytes) {
        ++c.garbageBursts;
        c.garbageBytes += f.garbageBytes;
    }
    if (!f.emitted) {
        ++c.skippedFrames;
        return;
    }
    ++c.framesEmitted;
    c.badChecksums += f.badChecksum;
    c.unknownTags += f.unknownTag;
    c.damagedFrames += f.badChecksum || f.unknownTag;
}

std::string StreamSummary(const std::string& destination, const StreamConfig& config, const DamageCounts& c,
                          uint64_t bytes) {
    const double seconds =
        static_cast<double>(c.framesGenerated) * GetStreamFormat(config.format).MsPerFrame / 1000.0;
    char line[768];
    std::snprintf(
        line, sizeof line,
        "%s: %llu frames (%llu generated, %.2f s, %s protocol, \"%s\"%s), %llu bytes; injected: "
        "%llu bad checksums, %llu skipped frames, %llu garbage bursts (%llu bytes), %llu unknown tags",
        destination.c_str(), (unsigned long long)c.framesEmitted, (unsigned long long)c.framesGenerated,
        seconds, config.protocol == Protocol::New ? "new" : "old", FormatCaption(config.format),
        config.bigEndian ? ", big-endian" : "", (unsigned long long)bytes, (unsigned long long)c.badChecksums,
        (unsigned long long)c.skippedFrames, (unsigned long long)c.garbageBursts,
        (unsigned long long)c.garbageBytes, (unsigned long long)c.unknownTags);
    return line;
}

} // namespace vintrel::sim
