#pragma once
// The 48 frame buffers, their per-frame records and the slowly-sent target data.
#include "stream/Types.h"

#include <array>
#include <cstdint>
#include <string>

namespace vintrel {

constexpr int kFrameBuffers = 48;
constexpr int kFrameBufWords = 65536;
constexpr int kPskTabWords = 1024;

// What one decoded frame holds, by chart slot [1..5] (index 0 unused).
struct TNewProtHeaderEveryFrameData {
    std::array<int16_t*, kChannelCharts + 1> SamplesPtr{};
    std::array<int16_t, kChannelCharts + 1> ChannMax{};
    std::array<int16_t, kChannelCharts + 1> FrameLen{};
    std::array<int16_t, kChannelCharts + 1> SampleIndInBuf{};
    std::array<int16_t, kChannelCharts + 1> VadStatus{};
    std::array<int16_t, kChannelCharts + 1> NoiseDetect{};
    std::array<int16_t, kChannelCharts + 1> NoiseReductionGain{}; // carried by the format, never filled
    std::array<int16_t, kChannelCharts + 1> AGC{};
    int16_t* RXOUTforDelay = nullptr;
    int16_t* TXINforDelay = nullptr;
    int16_t RXOUTmaxForDelay = 0;
    int16_t TXINmaxForDelay = 0;
    int16_t MIPS = kNotAvailable;
    int16_t maxMIPS = kNotAvailable;
    int16_t Volume = kNotAvailable;
    int16_t UF = kNotAvailable;
    int16_t ClippingMask = 0; // never filled
};

struct TNewProtHeaderScarceData {
    std::string PlatformID;
    std::string VexilprofileNum;
    std::string Vexilrevision;
    int16_t ProfileWordsAlreadyRecorded = 0;
    int16_t ProfileWordsLeftToRecord = -2;
    int16_t FullProfileWords = 0;
    int16_t CurrentChunkNo = -1;
    uint32_t ShownChecksum = 0;
    uint32_t Checksum = 0;
};

} // namespace vintrel
