#include "stream/Tags.h"

#include "stream/FrameLayout.h"
#include "stream/Text.h"

namespace vintrel {

std::string GetParNameFromTag(uint16_t tag, uint16_t maxTag) {
    if (tag == 0 || tag > maxTag) return maxTag == kMaxTagForFiles ? "" : "None";
    if (tag == kTagMips) return "MIPS";
    if (tag == kTagVL) return "VOL";
    if (tag == kTagUF) return "UF";

    const int hi = tag >> 8;
    const int bit = BitToNum(tag & 0xFF);
    if (hi >= 0x11 && hi <= 0x18) {
        static const char* const kDiag[] = {"ND_TX",  "ND_RX",  "VAD_TX",     "VAD_RX",
                                            "NRG_TX", "NRG_RX", "AGCG_TXOUT", "AGCG_RXOUT"};
        return std::string(kDiag[hi - 0x11]) + std::to_string(bit + 1);
    }

    std::string name;
    int raw = tag;
    if (tag <= kTagRawLast) {
        name = "Raw_";
    } else if (tag >= 0x0900 && tag <= 0x10FE) {
        name = "Ampl_";
        raw = tag - 0x0800;
    } else if (tag >= 0x1900 && tag <= 0x20FE) {
        name = "Clip_";
        raw = tag - 0x1800;
    } else {
        return "None"; // no name is defined for the remaining tags
    }
    const int group = raw >> 8;
    if (group >= 0x01 && group <= 0x04) return name + "TXIN" + std::to_string((group - 1) * 8 + bit + 1);
    if (group == 0x05) return name + "RXIN" + std::to_string(bit + 1);
    if (group == 0x06) return name + "TXOUT" + std::to_string(bit + 1);
    if (group == 0x07) return name + "RXOUT" + std::to_string(bit + 1);
    if (group >= 0x08) return name + "REF" + std::to_string(bit + 1);
    return "None";
}

std::optional<int16_t> TryGetTagFromParName(std::string_view name) {
    auto take = [&name](std::string_view key) {
        const auto pos = name.find(key);
        if (pos == std::string_view::npos) return false;
        // The prefix found is removed from the front, whatever stood before it.
        name.remove_prefix(std::min(name.size(), key.size()));
        return true;
    };
    if (name.find("None") != std::string_view::npos) return 0;
    int base;
    if (take("Raw_"))
        base = 0x0100;
    else if (take("Ampl_"))
        base = 0x0900;
    else
        return 0;

    bool txin = false;
    if (take("TXIN"))
        txin = true;
    else if (take("RXIN"))
        base += 0x0400;
    else if (take("TXOUT"))
        base += 0x0500;
    else if (take("RXOUT"))
        base += 0x0600;
    else if (take("REF"))
        base += 0x0700;
    else
        return 0;

    while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    const std::optional<int> number = ParseDecimal<int>(name);
    if (!number) return std::nullopt;
    const int n = *number;
    if (n < 1 || n > 32) return 0;
    if (txin) return static_cast<int16_t>(base + ((n - 1) / 8) * 256 + (1 << ((n - 1) % 8)));
    if (n > 8) return 0;
    return static_cast<int16_t>(base + (1 << (n - 1)));
}

int16_t GetTagFromParName(std::string_view name) {
    return TryGetTagFromParName(name).value_or(0);
}

int TagSlot(uint16_t tag) {
    if (tag < kTagRawFirst || tag > kTagAmplLast) return -1;
    const int bit = BitToNum(tag & 0xFF);
    if (bit < 0) return -1;
    return ((tag >> 8) - 1) * 8 + bit;
}

} // namespace vintrel
