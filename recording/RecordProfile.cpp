#include "recording/RecordProfile.h"

#include <algorithm>

namespace vintrel {

namespace {
constexpr int kOldTableWords = 200; // the old-protocol table indexes a receiver keeps
constexpr uint16_t kOldTableMark = 0x5350;
} // namespace

RecordProfile::RecordProfile() = default;
RecordProfile::~RecordProfile() = default;

void RecordProfile::Clear() {
    decoder_.reset();
    old_ = ProfileSnapshot{};
}

FrameDecoder& RecordProfile::Decoder() {
    if (!decoder_) decoder_ = std::make_unique<FrameDecoder>(tags_, settings_, nullptr);
    return *decoder_;
}

void RecordProfile::NewChunk(const uint16_t* chunk, int available) {
    const int len = chunk[0];
    if (available < 3 + len || len > kFrameBufWords) return;
    FrameDecoder& d = Decoder();
    std::copy(chunk + 3, chunk + 3 + len, reinterpret_cast<uint16_t*>(d.WordPtr(0, 0)));
    d.NewProtParseChunk(len, int16_t(chunk[1]), int16_t(chunk[2]), 0, 0);
}

void RecordProfile::TargetInfo(uint16_t info, int16_t revision) {
    Decoder().TargetInfo(info, revision);
}

void RecordProfile::OldHeader(uint16_t counter, uint16_t word) {
    const int idx = counter & 0xFF;
    if (idx == 0 && word == kOldTableMark) ++old_.CheckPsk;
    if (idx < kOldTableWords) old_.PskTab[size_t(idx)] = word;
}

bool RecordProfile::Snapshot(int protocol, ProfileSnapshot& out) const {
    if (protocol != 1) {
        if (old_.CheckPsk < 1) return false;
        out = old_;
        out.ProtocolType = protocol;
        return true;
    }
    if (!decoder_ || decoder_->CheckPsk.load() != 2) return false;
    out = TakeProfileSnapshot(*decoder_, protocol);
    return true;
}

} // namespace vintrel
