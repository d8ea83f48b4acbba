#pragma once
// Which tag each channel chart shows, which channel tags the target currently sends, and the
// channel selection lists rebuilt from them. The lists are a plain model; a window binds it
// to its combo boxes.
//
// Threads: ChartTag is written by the window thread (choice, start-up, rebuild) and read by
// the parsing thread per frame, whole. The presence tables are written by the parsing thread
// only. The lists are rebuilt by whoever owns them (the window thread in the program).
#include "stream/Types.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace vintrel {

struct TagListModel {
    std::vector<std::string> Items;
    int Selected = -1; // -1: no selection
    bool Enabled = false;
    std::string Text() const { return Selected >= 0 && Selected < int(Items.size()) ? Items[Selected] : ""; }
};

class TagModel {
public:
    static constexpr int kSlots = 128;

    TagModel();

    std::array<std::atomic<int16_t>, kChannelCharts + 1> ChartTag{}; // [1..5]; 0 = none
    std::array<int16_t, kSlots> CollectPlottableTags{};
    std::array<int16_t, kSlots> CopyCollectTags{};
    std::atomic<int16_t> CollectableTagsChanged{0};
    std::atomic<int16_t> CollectMIPS{0};

    // "Selectable INs/OUTs" and the five chart lists ([1..5]).
    TagListModel ComboBoxTags;
    std::array<TagListModel, kChannelCharts + 1> ChartSelTagCB;
    std::atomic<bool> CheckBoxLockCh{false};
    // The present tags as last published by the parsing thread; the lists are rebuilt from it.
    std::array<std::atomic<int16_t>, kSlots> PresentTags{};
    void PublishPresentTags();

    TChart Tag2Chart(int16_t tag) const;
    TChart Channel2ChartOldProt(TChannel chann) const;
    TChannel Chart2ChannelOldProt(TChart chart) const;
    void Channel2CollectPlottableTags(TChannel chann);
    // Registers a raw or amplitude tag met in a frame.
    void Collect(int slot, int16_t tag) { CollectPlottableTags[slot] = tag; }

    void HandleSelectableTagsOnCreate();
    void SetupSelectableTagsToCheckChanges();
    void CheckSelectableTagsChanged();
    void HandleSelectableTagsOnChange();
    // The user picked `text` in a chart's list; returns the new tag. The caller restarts the
    // chart's noise statistics.
    int16_t TagSelect(TChart chart, const std::string& text);

    // Five names as stored in the settings file; empty or unknown names fall back to none.
    void SetChartTags(const std::array<int16_t, kChannelCharts>& tags);
    static std::array<int16_t, kChannelCharts> DefaultChartTags();
    // Fills each chart list with the names of the five chart tags and selects its own entry.
    void FillListsFromChartTags();

    static uint16_t ChannelTag(TChannel chann);
};

} // namespace vintrel
