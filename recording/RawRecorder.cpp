#include "recording/RawRecorder.h"

#include "recording/FileCause.h"
#include "stream/FrameLayout.h"
#include "stream/SystemError.h"

#include <cerrno>
#include <cmath>
#include <thread>

namespace vintrel {

RawRecorder::~RawRecorder() {
    StopAndClose();
}

bool RawRecorder::Create(const std::string& path, std::string* cause) {
    StopAndClose();
    // No sharing: a raw record another recorder holds is refused before it is emptied.
    int err = 0;
    std::unique_ptr<File> file = files_.Open(path, OpenMode::OpenAlways, err);
    if (!file) {
        if (cause) *cause = CreateFailureCause(files_, path, err);
        return false;
    }
    FileStatus st;
    err = file->LockAlone();
    if (err == 0) err = file->SetSize(0);
    if (err == 0) err = files_.Status(path, st);
    if (err != 0) {
        if (cause)
            *cause =
                path + ": " + (err == EWOULDBLOCK ? "in use by another recording" : SystemErrorText(err));
        return false;
    }
    TempFile = file.release();
    bytes_ = 0;
    lost_ = 0;
    writeFailed_ = false;
    layoutChanged_ = false;
    protocol_ = -1;
    return true;
}

void RawRecorder::Begin(int32_t frameLimit) {
    frameLimit_ = frameLimit;
    RecNo = 0;
    RecSec = 0;
    recording_.store(true, std::memory_order_seq_cst);
    s_.Add(StreamState::FRecord);
}

void RawRecorder::StopAndClose() {
    s_.Remove(StreamState::FRecord);
    recording_.store(false, std::memory_order_seq_cst);
    // A frame the parser began to write before it saw the stop ends first: one write at most.
    while (writing_.load(std::memory_order_seq_cst)) std::this_thread::yield();
    delete TempFile.exchange(nullptr);
}

bool RawRecorder::IsOpen() const {
    return TempFile.load() != nullptr;
}

void RawRecorder::WriteFrame(const uint8_t* data, uint32_t n) {
    File* file = TempFile.load(std::memory_order_relaxed);
    const uint64_t at = bytes_.load(std::memory_order_relaxed);
    int error = 0;
    const size_t done = file->WriteAt(data, n, at, error);
    if (done == n) {
        bytes_.store(at + n, std::memory_order_relaxed);
        return;
    }
    // The record keeps whole frames only: the part of this one that got out is taken back.
    if (done > 0 && file->SetSize(at) != 0) {
        TempFile = nullptr; // the record cannot be mended: it ends with the frames before
        delete file;
    }
    lost_.fetch_add(1, std::memory_order_relaxed);
    if (!writeFailed_) {
        writeFailed_ = true;
        sink_.SetStat(std::string("Raw record write error (") + SystemErrorText(error) +
                          "): frames are being lost from the record",
                      StatStyle::BoldRed);
    }
}

uint64_t RawRecorder::LayoutKey(const DecodedFrame& f) const {
    // FNV-1a over what decides the record's files: the protocol, and the old protocol's channel
    // mask or the new protocol's sample chunks (tag and length) in their order.
    uint64_t h = 14695981039346656037ull;
    auto mix = [&h](uint32_t v) {
        for (int i = 0; i < 4; ++i, v >>= 8) h = (h ^ (v & 0xFF)) * 1099511628211ull;
    };
    mix(uint32_t(f.Protocol));
    if (f.Protocol == 0) {
        mix(uint32_t(s_.Ring.OldProtCH()));
        return h;
    }
    const auto* w = reinterpret_cast<const uint16_t*>(s_.Decoder.WordPtr(f.FrameBufN, 0));
    const uint32_t words = f.Bytes / 2;
    for (uint32_t i = kNewFirstTagWord; i + 1 < words;) {
        const uint16_t tag = w[i];
        const int size = ChunkSizeWords(tag, w[i + 1]);
        if (size <= 0) break;
        if (tag >= kTagRawFirst && tag <= kTagRawLast) mix(uint32_t(tag) << 16 | w[i + 1]);
        i += uint32_t(size);
    }
    return h;
}

void RawRecorder::OnFrame(const DecodedFrame& f) {
    if (!recording_.load(std::memory_order_relaxed)) return;
    writing_.store(true, std::memory_order_seq_cst);
    if (!recording_.load(std::memory_order_seq_cst) || layoutChanged_.load(std::memory_order_relaxed)) {
        writing_.store(false, std::memory_order_release); // ended meanwhile, or waiting to be
        return;
    }
    if (frameLimit_ > 0 && RecNo.load(std::memory_order_relaxed) >= frameLimit_) {
        writing_.store(false, std::memory_order_release); // the limit is recorded: the window ends it
        return;
    }
    if (f.FramesFromStart == 0) newConnection_ = true;
    if (f.Record) {
        const uint64_t layout = LayoutKey(f);
        if (newConnection_ && protocol_.load(std::memory_order_relaxed) >= 0 && layout != lastLayout_) {
            layoutChanged_.store(true, std::memory_order_release);
            writing_.store(false, std::memory_order_release);
            return;
        }
        newConnection_ = false;
        lastLayout_ = layout;
        protocol_.store(f.Protocol, std::memory_order_relaxed);
    }
    if (f.Record && TempFile.load(std::memory_order_relaxed) != nullptr) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(s_.Decoder.WordPtr(f.FrameBufN, 0));
        WriteFrame(bytes, f.Bytes);
    } else if (f.Record) {
        lost_.fetch_add(1, std::memory_order_relaxed);
    }
    const int32_t n = RecNo.load(std::memory_order_relaxed) + 1;
    RecNo.store(n, std::memory_order_relaxed);
    RecSec.store(int32_t(std::floor(n / double(s_.Format().FramesPerSec))), std::memory_order_relaxed);
    writing_.store(false, std::memory_order_release);
}

} // namespace vintrel
