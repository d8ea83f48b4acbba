#include "stream/TagModel.h"

#include "stream/FrameLayout.h"
#include "stream/Tags.h"

namespace vintrel {

TagModel::TagModel() {
    HandleSelectableTagsOnCreate();
    SetChartTags(DefaultChartTags());
}

uint16_t TagModel::ChannelTag(TChannel chann) {
    switch (chann) {
    case TXOUT:
        return kTagTxOut1;
    case RXOUT:
        return kTagRxOut1;
    case TX1IN:
        return kTagTxIn1;
    case TX2IN:
        return kTagTxIn2;
    case RXIN:
        return kTagRxIn1;
    default:
        return 0;
    }
}

TChart TagModel::Tag2Chart(int16_t tag) const {
    auto firstChartWith = [this](int16_t a, int16_t b) {
        for (int k = 1; k <= kChannelCharts; ++k) {
            const int16_t t = ChartTag[k].load(std::memory_order_relaxed);
            if (t == a || t == b) return static_cast<TChart>(k);
        }
        return NOCHART;
    };
    if (tag <= static_cast<int16_t>(0x10FF)) return firstChartWith(tag, tag);
    int offset;
    switch (static_cast<uint16_t>(tag) >> 8) {
    case 0x11:
        offset = 0x0100;
        break;
    case 0x12:
        offset = 0x0500;
        break;
    case 0x13:
    case 0x15:
    case 0x17:
        offset = 0x0600;
        break;
    case 0x14:
    case 0x16:
    case 0x18:
        offset = 0x0700;
        break;
    default:
        return NOCHART;
    }
    const int16_t raw = static_cast<int16_t>((tag & 0xFF) + offset);
    return firstChartWith(raw, static_cast<int16_t>(raw + 0x0800));
}

TChart TagModel::Channel2ChartOldProt(TChannel chann) const {
    const int16_t t = static_cast<int16_t>(ChannelTag(chann));
    if (t == 0) return NOCHART;
    for (int k = 1; k <= kChannelCharts; ++k)
        if (ChartTag[k].load(std::memory_order_relaxed) == t) return static_cast<TChart>(k);
    return NOCHART;
}

TChannel TagModel::Chart2ChannelOldProt(TChart chart) const {
    if (chart < CHART11 || chart > CHART22) return HEADER;
    const uint16_t t = static_cast<uint16_t>(ChartTag[chart].load(std::memory_order_relaxed));
    for (TChannel c : {TXOUT, RXOUT, TX1IN, TX2IN, RXIN})
        if (ChannelTag(c) == t) return c;
    return HEADER;
}

void TagModel::Channel2CollectPlottableTags(TChannel chann) {
    // Old-protocol channels have fixed slots; TXOUT and RXIN sit in each other's formula slots.
    switch (chann) {
    case TX1IN:
        CollectPlottableTags[0] = kTagTxIn1;
        break;
    case TX2IN:
        CollectPlottableTags[1] = kTagTxIn2;
        break;
    case TXOUT:
        CollectPlottableTags[32] = kTagTxOut1;
        break;
    case RXIN:
        CollectPlottableTags[40] = kTagRxIn1;
        break;
    case RXOUT:
        CollectPlottableTags[48] = kTagRxOut1;
        break;
    default:
        break;
    }
}

void TagModel::HandleSelectableTagsOnCreate() {
    CollectPlottableTags.fill(0);
    CopyCollectTags.fill(0);
    for (auto& t : PresentTags) t.store(0);
    CollectMIPS = 0;
}

void TagModel::SetupSelectableTagsToCheckChanges() {
    CopyCollectTags = CollectPlottableTags;
    CollectPlottableTags.fill(0);
}

void TagModel::CheckSelectableTagsChanged() {
    if (CopyCollectTags != CollectPlottableTags) CollectableTagsChanged = 1;
}

void TagModel::PublishPresentTags() {
    for (int s = 0; s < kSlots; ++s) PresentTags[s].store(CollectPlottableTags[s], std::memory_order_relaxed);
}

void TagModel::HandleSelectableTagsOnChange() {
    ComboBoxTags.Items.clear();
    for (int s = 0; s < kSlots; ++s) {
        const int16_t t = PresentTags[s].load(std::memory_order_relaxed);
        if (t != 0)
            ComboBoxTags.Items.push_back(GetParNameFromTag(static_cast<uint16_t>(t), kMaxTagForLists));
    }
    if (!ComboBoxTags.Items.empty()) {
        if (ComboBoxTags.Items.front() != "None") ComboBoxTags.Items.push_back("None");
        for (int k = 1; k <= kChannelCharts; ++k) {
            TagListModel& list = ChartSelTagCB[k];
            const std::string remembered = list.Text();
            list.Items = ComboBoxTags.Items;
            list.Selected = -1;
            for (int i = 0; i < int(list.Items.size()); ++i)
                if (list.Items[i] == remembered) {
                    list.Selected = i;
                    break;
                }
            ChartTag[k] = list.Selected >= 0 ? GetTagFromParName(list.Text()) : int16_t(0);
            list.Enabled = true;
        }
    } else {
        ComboBoxTags.Items.push_back("None");
        for (int k = 1; k <= kChannelCharts; ++k) ChartSelTagCB[k].Enabled = false;
    }
    ComboBoxTags.Selected = 0;
    ComboBoxTags.Enabled = true;
    CollectableTagsChanged = 0;
}

int16_t TagModel::TagSelect(TChart chart, const std::string& text) {
    if (chart < CHART11 || chart > CHART22) return 0;
    TagListModel& list = ChartSelTagCB[chart];
    for (int i = 0; i < int(list.Items.size()); ++i)
        if (list.Items[i] == text) list.Selected = i;
    const int16_t tag = GetTagFromParName(text);
    ChartTag[chart] = tag;
    return tag;
}

std::array<int16_t, kChannelCharts> TagModel::DefaultChartTags() {
    return {int16_t(kTagTxIn1), int16_t(kTagTxIn2), int16_t(kTagTxOut1), int16_t(kTagRxIn1),
            int16_t(kTagRxOut1)};
}

void TagModel::SetChartTags(const std::array<int16_t, kChannelCharts>& tags) {
    for (int k = 1; k <= kChannelCharts; ++k) ChartTag[k] = tags[k - 1];
}

void TagModel::FillListsFromChartTags() {
    std::vector<std::string> names;
    for (int k = 1; k <= kChannelCharts; ++k)
        names.push_back(GetParNameFromTag(static_cast<uint16_t>(ChartTag[k].load()), kMaxTagForLists));
    for (int k = 1; k <= kChannelCharts; ++k) {
        TagListModel& list = ChartSelTagCB[k];
        list.Items = names;
        list.Selected = k - 1;
        list.Enabled = !CheckBoxLockCh;
    }
}

} // namespace vintrel
