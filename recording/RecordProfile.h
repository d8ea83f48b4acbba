#pragma once
// The target's profile and PS-key table as a record carries them, for a parse without the live
// stream behind it: the new protocol's profile chunks and target information go through a frame
// decoder of their own (the live assembly rules, so a profile counts only when collected from its
// chunk 0 on), the old protocol's table words through the header rule of the live decoder.
//
// Threads: the thread that runs the parse.
#include "recording/ProfileSnapshot.h"
#include "stream/FrameDecoder.h"
#include "stream/TagModel.h"

#include <cstdint>
#include <memory>

namespace vintrel {

class RecordProfile {
public:
    RecordProfile();
    ~RecordProfile();
    void Clear();
    // A profile chunk: ChunkLenWords, ChunkNo, WordsLeftToSend, then `available` words of the
    // frame from its data on (a chunk that runs past them is damaged and left out).
    void NewChunk(const uint16_t* chunk, int available);
    void TargetInfo(uint16_t info, int16_t revision);
    // Words 2 and 3 of an old-protocol header: the table index in the counter's low byte.
    void OldHeader(uint16_t counter, uint16_t word);
    // The record's own data for `protocol` (1 new), when it holds a complete profile or, in the
    // old protocol, a table mark; false otherwise.
    bool Snapshot(int protocol, ProfileSnapshot& out) const;

private:
    FrameDecoder& Decoder();

    TagModel tags_;
    DecoderSettings settings_;
    std::unique_ptr<FrameDecoder> decoder_; // made at the first new-protocol profile data
    ProfileSnapshot old_;
};

} // namespace vintrel
