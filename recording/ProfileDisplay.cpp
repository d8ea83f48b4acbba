#include "recording/ProfileDisplay.h"

#include "recording/ProfileSnapshot.h"
#include "stream/StreamFormat.h"
#include "stream/Text.h"

#include <algorithm>
#include <cstring>

namespace vintrel {

const char* const Platforms[8] = {"General", "ARM",      "Renesas",  "TEAK",
                                  "Kalimba", "Blackfin", "Coolflux", "PC"};

namespace {
constexpr int kOldDetailsHeight = 180;
} // namespace

bool ProfileDisplay::CheckPskTab(int protocolType) {
    decoder_.CheckPsk = 1;
    std::array<uint16_t, kPskTabWords> table;
    for (int i = 0; i < kPskTabWords; ++i)
        table[i] = uint16_t(decoder_.PskTab[i].load(std::memory_order_relaxed));
    if (PskTabLen_ != 0 && std::memcmp(table.data(), LastPsk_.data(), size_t(PskTabLen_)) == 0) return true;
    LastPsk_ = table;
    const int end = OldPskTableEnd(LastPsk_.data(), LastPsk_.size());
    if (end > 0) {
        PskTabLen_ = 2 * end + 2;
        if (shown_) ShowPsk(protocolType);
        buttonVisible_ = true;
        sink_.SetStat("Kalimba Vexil version " + std::to_string(LastPsk_[1]) + " detected",
                      StatStyle::Normal);
        return true;
    }
    PskHide();
    sink_.SetStat("Check PSKey error", StatStyle::Normal);
    buttonVisible_ = false;
    return false;
}

void ProfileDisplay::OnFrameDrawn(int protocolType) {
    const int32_t check = decoder_.CheckPsk.load(std::memory_order_acquire);
    if (protocolType < 1) {
        if (check > 1) CheckPskTab(protocolType);
        return;
    }
    if (!buttonVisible_ && check > 1)
        sink_.SetStat(decoder_.StatString(), StatStyle::Normal, StatKind::OnChange);
    buttonVisible_ = check > 1;
}

void ProfileDisplay::OnTimer(int protocolType) {
    if (!shown_) return;
    if (protocolType < 1) {
        ShowPsk(protocolType);
        return;
    }
    const uint32_t checksum = decoder_.ScarceDataCopy().Checksum;
    if (ShownChecksum_ != checksum) {
        ShowPsk(protocolType);
        ShownChecksum_ = checksum;
    }
}

void ProfileDisplay::ShowPsk(int protocolType) {
    buttonCaption_ = "Hide details";
    shown_ = true;
    details_ = ProfileDetails{};
    if (!decoder_.ScarceDataCopy().PlatformID.empty()) {
        if (protocolType >= 1) {
            ShowNewProtProfile();
            return;
        }
        decoder_.RequestScarceDataInit();
    }
    ShowOldTable();
}

void ProfileDisplay::ShowOldTable() {
    details_.ExtraHeight = kOldDetailsHeight;
    details_.MemoHeight = kOldDetailsHeight;
    const uint16_t* t = LastPsk_.data();
    details_.Lines.push_back("Kalimba Vexil Version " + std::to_string(t[1]));
    int keyAt = 2;
    for (int g = 0; g < 3; ++g) {
        if (keyAt + 1 >= kPskTabWords) break;
        const int n = std::min<int>(t[keyAt + 1], kPskTabWords - (keyAt + 2));
        if (n > 0)
            details_.Lines.push_back("PSKey 0x" + Hex4(t[keyAt]) + ", length " +
                                     std::to_string(t[keyAt + 1]));
        details_.Lines.push_back(HexWords(t + keyAt + 2, n));
        keyAt += 2 + n;
    }
}

void ProfileDisplay::ShowNewProtProfile() {
    const TNewProtHeaderScarceData s = decoder_.ScarceDataCopy();
    const int full = std::clamp<int>(s.FullProfileWords, 0, kPskTabWords);
    std::array<uint16_t, kPskTabWords> p;
    for (int i = 0; i < kPskTabWords; ++i)
        p[i] = uint16_t(decoder_.LastPsk[i].load(std::memory_order_relaxed));
    auto& lines = details_.Lines;
    if (s.PlatformID == "General") {
        details_.MemoHeight = int(RoundHalfEven(full * 1.23));
        lines.push_back("  Target h/w platform: " + s.PlatformID);
        lines.push_back("  Profile structure version: " + s.VexilprofileNum +
                        "  Vexil revision: " + s.Vexilrevision);
        std::string line;
        for (int i = 0; i < full; ++i) {
            line += "0x" + Hex4(p[i]) + ", ";
            if (i % 12 == 11) {
                lines.push_back(line);
                line.clear();
            }
        }
        lines.push_back(line + "===END===");
        ShownChecksum_ = s.Checksum;
    } else if (s.PlatformID == "Kalimba") {
        details_.MemoHeight = int(RoundHalfEven((full + 48) * 1.23));
        lines.push_back("Kalimba Vexil Version " + s.Vexilrevision + ", Profile " + s.VexilprofileNum);
        static const char* const kTitles[3] = {"PSKey 0x", "Sec PSKey 0x", "License PSKey 0x"};
        for (int g = 0; g < 3; ++g) {
            const PskGroup grp = KalimbaGroup(p.data(), full, g);
            const int declared = 2 * g + 1 < full ? p[2 * g + 1] : 0;
            if (grp.Key == 0 || declared == 0) continue;
            lines.push_back(kTitles[g] + Hex4(grp.Key) + ", length " + std::to_string(declared));
            for (int i = 0; i < grp.Length; i += 16)
                lines.push_back(HexWords(p.data() + grp.DataIndex + i, std::min(16, grp.Length - i)));
        }
    } else {
        return;
    }
    details_.ExtraHeight = details_.MemoHeight;
}

void ProfileDisplay::PskHide() {
    buttonCaption_ = "Show details";
    shown_ = false;
    details_ = ProfileDetails{};
}

void ProfileDisplay::PskButtonClick(int protocolType) {
    if (shown_)
        PskHide();
    else
        ShowPsk(protocolType);
}

void ProfileDisplay::PskClean() {
    PskHide();
    PskTabLen_ = 6;
    LastPsk_[0] = 0x63;
    buttonVisible_ = false;
}

} // namespace vintrel
