#include "sim/SimLog.h"

#include <cerrno>
#include <chrono>
#include <cstring>

namespace vintrel::sim {

namespace {

std::string Seconds() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", std::chrono::duration<double>(now).count());
    return text;
}

std::string U(uint64_t v) {
    return std::to_string(v);
}

} // namespace

SimLog::~SimLog() {
    if (file_) std::fclose(file_);
}

bool SimLog::Open(const std::string& path, std::string& error) {
    if (path.empty()) return true;
    file_ = std::fopen(path.c_str(), "we");
    if (!file_) {
        error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

void SimLog::Line(const std::string& text) {
    if (!file_) return;
    std::fputs(text.c_str(), file_);
    std::fputc('\n', file_);
    // A reader follows the log while the run goes on, and a killed run keeps what it logged.
    std::fflush(file_);
}

std::string SimLog::CountsText(const DamageCounts& c) {
    return "sent-frames=" + U(c.framesEmitted) + " bad-checksums=" + U(c.badChecksums) +
           " skipped=" + U(c.skippedFrames) + " garbage-bursts=" + U(c.garbageBursts) +
           " garbage-bytes=" + U(c.garbageBytes) + " unknown-tags=" + U(c.unknownTags) +
           " damaged=" + U(c.damagedFrames);
}

void SimLog::Begin(const std::string& destination, const StreamConfig& c) {
    Line("begin t=" + Seconds() + " to=" + destination + " protocol=" +
         (c.protocol == Protocol::New ? "new" : "old") + " format=" + FormatShortName(c.format) +
         " byte-order=" + (c.bigEndian ? "big" : "little") + " seed=" + U(c.seed));
}

void SimLog::Connect(uint64_t n, const std::string& peer, uint32_t counter, uint64_t offset) {
    Line("connect n=" + U(n) + " t=" + Seconds() + " peer=" + peer + " frame=" + U(counter) +
         " offset=" + U(offset));
}

void SimLog::End(uint64_t n, const PumpResult& r, uint64_t unacked, uint64_t unsent, const char* how) {
    Line("end n=" + U(n) + " t=" + Seconds() + " frames=" + U(r.frames) + " bytes=" + U(r.bytes) +
         " cut=" + U(r.cutBytes) + " unacked=" + U(unacked) + " unsent=" + U(unsent) + " how=" + how + " " +
         CountsText(r.sent));
}

void SimLog::Total(const DamageCounts& generated, const DamageCounts& sent, uint64_t bytes) {
    Line("total t=" + Seconds() + " generated=" + U(generated.framesGenerated) + " bytes=" + U(bytes) + " " +
         CountsText(sent));
}

const char* PumpEndWord(PumpEnd end) {
    switch (end) {
    case PumpEnd::Limit:
        return "ended";
    case PumpEnd::PeerGone:
        return "gone";
    case PumpEnd::Stopped:
        return "stopped";
    case PumpEnd::Failed:
        break;
    }
    return "failed";
}

} // namespace vintrel::sim
