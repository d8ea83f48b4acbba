#pragma once
// The target's profile and PS keys on the main window: the check of each newly received
// old-protocol key table, the "Show details" button, and the details memo as a model (its lines
// and the heights the window takes) that the window shows.
//
// Threads: window thread only. It reads the decoder's tables (atomics) and published target
// information, sets the decoder's CheckPsk to 1 after a check, and asks the parsing thread for a
// scarce-data reset instead of making it.
#include "stream/FrameDecoder.h"
#include "stream/MessageSink.h"

#include <array>
#include <string>
#include <vector>

namespace vintrel {

extern const char* const Platforms[8];

struct ProfileDetails {
    std::vector<std::string> Lines;
    int MemoHeight = 0;  // pixels
    int ExtraHeight = 0; // the window's height above MyHeight while the details show
};

class ProfileDisplay {
public:
    ProfileDisplay(FrameDecoder& decoder, MessageSink& sink) : decoder_(decoder), sink_(sink) {
        LastPsk_[0] = 0x63;
    }

    // A delivered old-protocol frame with CheckPsk above 1: takes the table when it is new.
    bool CheckPskTab(int protocolType);
    // Step of drawing a frame: the old-protocol check, the new-protocol announcement and the button.
    void OnFrameDrawn(int protocolType);
    // The window's one-second timer: refreshes shown details.
    void OnTimer(int protocolType);
    void ShowPsk(int protocolType);
    void ShowNewProtProfile();
    void PskHide();
    void PskButtonClick(int protocolType);
    // Forgets the shown table (connection opened or closed, transport errors). The status line is
    // cleared by the window's own PskClean, after which the engine's reports set theirs.
    void PskClean();

    bool ButtonVisible() const { return buttonVisible_; }
    const std::string& ButtonCaption() const { return buttonCaption_; }
    bool DetailsShown() const { return shown_; }
    const ProfileDetails& Details() const { return details_; }
    int PskTabLen() const { return PskTabLen_; }

private:
    void ShowOldTable();

    FrameDecoder& decoder_;
    MessageSink& sink_;
    std::array<uint16_t, kPskTabWords> LastPsk_{}; // the last old-protocol table taken
    int PskTabLen_ = 6; // with LastPsk_[0] = 0x63 the first table is always taken as new
    uint32_t ShownChecksum_ = 0;
    bool buttonVisible_ = false;
    std::string buttonCaption_ = "Show details";
    bool shown_ = false;
    ProfileDetails details_;
};

} // namespace vintrel
