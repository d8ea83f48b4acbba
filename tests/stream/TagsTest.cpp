#include "stream/Tags.h"
#include "stream/FrameLayout.h"
#include "stream/TagModel.h"

#include <gtest/gtest.h>

namespace vintrel {

TEST(Tags, NamesOfTags) {
    EXPECT_EQ(GetParNameFromTag(0x0101, kMaxTagForLists), "Raw_TXIN1");
    EXPECT_EQ(GetParNameFromTag(0x0120, kMaxTagForLists), "Raw_TXIN6");
    EXPECT_EQ(GetParNameFromTag(0x0201, kMaxTagForLists), "Raw_TXIN9");
    EXPECT_EQ(GetParNameFromTag(0x0480, kMaxTagForLists), "Raw_TXIN32");
    EXPECT_EQ(GetParNameFromTag(0x0904, kMaxTagForLists), "Ampl_TXIN3");
    EXPECT_EQ(GetParNameFromTag(0x0F01, kMaxTagForLists), "Ampl_RXOUT1");
    EXPECT_EQ(GetParNameFromTag(0x0880, kMaxTagForLists), "Raw_REF8");
    EXPECT_EQ(GetParNameFromTag(0x1D02, kMaxTagForFiles), "Clip_RXIN2");
    EXPECT_EQ(GetParNameFromTag(0x1304, kMaxTagForFiles), "VAD_TX3");
    EXPECT_EQ(GetParNameFromTag(0x1880, kMaxTagForFiles), "AGCG_RXOUT8");
    EXPECT_EQ(GetParNameFromTag(0x8002, kMaxTagForFiles), "MIPS");
    EXPECT_EQ(GetParNameFromTag(0x7F00, kMaxTagForFiles), "VOL");
    EXPECT_EQ(GetParNameFromTag(0x7F01, kMaxTagForFiles), "UF");
    // Out of range: "None" for the lists, empty for file names.
    EXPECT_EQ(GetParNameFromTag(0, kMaxTagForLists), "None");
    EXPECT_EQ(GetParNameFromTag(0x8002, kMaxTagForLists), "None");
    EXPECT_EQ(GetParNameFromTag(0x9000, kMaxTagForFiles), "");
}

TEST(Tags, TagsOfNames) {
    EXPECT_EQ(GetTagFromParName("Raw_TXIN9"), 0x0201);
    EXPECT_EQ(GetTagFromParName("Ampl_RXIN2"), 0x0D02);
    EXPECT_EQ(GetTagFromParName("Raw_TXIN32"), 0x0480);
    EXPECT_EQ(GetTagFromParName("Raw_REF1"), 0x0801);
    EXPECT_EQ(GetTagFromParName("Raw_RXIN9"), 0);
    EXPECT_EQ(GetTagFromParName("Raw_TXIN33"), 0);
    EXPECT_EQ(GetTagFromParName("Raw_TXIN0"), 0);
    EXPECT_EQ(GetTagFromParName("Clip_TXIN1"), 0);
    EXPECT_EQ(GetTagFromParName("None"), 0);
    EXPECT_EQ(GetTagFromParName("MIPS"), 0);
    // A number part that does not convert is an error the caller can see.
    EXPECT_FALSE(TryGetTagFromParName("Raw_TXINx"));
    EXPECT_FALSE(TryGetTagFromParName("Raw_TXIN"));
    EXPECT_EQ(TryGetTagFromParName("Raw_TXIN1"), 0x0101);
}

TEST(Tags, NamesAndTagsAreInverse) {
    int checked = 0;
    for (int hi = 0x01; hi <= 0x10; ++hi)
        for (int b = 0; b < 8; ++b) {
            const uint16_t tag = uint16_t(hi << 8 | 1 << b);
            const std::string name = GetParNameFromTag(tag, kMaxTagForLists);
            ASSERT_EQ(uint16_t(GetTagFromParName(name)), tag) << name;
            ++checked;
        }
    EXPECT_EQ(checked, 128);
}

TEST(TagModel, DiagnosticsAttachToTheChartOfTheirChannel) {
    TagModel m;
    m.SetChartTags({0x0101, 0x0102, 0x0601, 0x0501, int16_t(0x0F01)}); // chart 5 shows Ampl_RXOUT1
    EXPECT_EQ(m.Tag2Chart(0x0601), CHART13);
    EXPECT_EQ(m.Tag2Chart(0x1401), CHART22); // VAD_RX1 belongs to RXOUT1
    EXPECT_EQ(m.Tag2Chart(0x1101), CHART11); // ND_TX1 to TXIN1
    EXPECT_EQ(m.Tag2Chart(0x1201), CHART21); // ND_RX1 to RXIN1
    EXPECT_EQ(m.Tag2Chart(0x1701), CHART13); // AGC TXOUT
    EXPECT_EQ(m.Tag2Chart(0x1102), CHART12); // ND_TX2 to TXIN2
    EXPECT_EQ(m.Tag2Chart(0x1302), NOCHART);
    EXPECT_EQ(m.Tag2Chart(0x1901), NOCHART);
    EXPECT_EQ(m.Tag2Chart(int16_t(0x8002)), NOCHART);
}

TEST(TagModel, OldProtocolChannelsAndSlots) {
    TagModel m; // defaults: TXIN1, TXIN2, TXOUT1, RXIN1, RXOUT1
    EXPECT_EQ(m.Channel2ChartOldProt(TXOUT), CHART13);
    EXPECT_EQ(m.Channel2ChartOldProt(RXOUT), CHART22);
    EXPECT_EQ(m.Chart2ChannelOldProt(CHART21), RXIN);
    EXPECT_EQ(m.Chart2ChannelOldProt(NOCHART), HEADER);
    m.ChartTag[4] = 0x0801;
    EXPECT_EQ(m.Chart2ChannelOldProt(CHART21), HEADER);
    EXPECT_EQ(m.Channel2ChartOldProt(RXIN), NOCHART);

    m.SetupSelectableTagsToCheckChanges();
    for (TChannel c : {TXOUT, RXOUT, TX1IN, TX2IN, RXIN}) m.Channel2CollectPlottableTags(c);
    m.PublishPresentTags();
    m.HandleSelectableTagsOnChange();
    // Old-protocol slots put TXOUT before RXIN.
    const std::vector<std::string> expected = {"Raw_TXIN1", "Raw_TXIN2",  "Raw_TXOUT1",
                                               "Raw_RXIN1", "Raw_RXOUT1", "None"};
    EXPECT_EQ(m.ComboBoxTags.Items, expected);
}

TEST(TagModel, RebuildKeepsSelectionsAndDropsVanishedChannels) {
    TagModel m;
    m.FillListsFromChartTags();
    EXPECT_EQ(m.ChartSelTagCB[3].Text(), "Raw_TXOUT1");

    // The target sends TXIN1, TXOUT1 and its amplitude, but no longer RXOUT1.
    m.SetupSelectableTagsToCheckChanges();
    m.Collect(TagSlot(0x0101), 0x0101);
    m.Collect(TagSlot(0x0601), 0x0601);
    m.Collect(TagSlot(0x0E01), 0x0E01);
    m.CheckSelectableTagsChanged();
    EXPECT_EQ(m.CollectableTagsChanged.load(), 1);
    m.PublishPresentTags();
    m.HandleSelectableTagsOnChange();
    EXPECT_EQ(m.CollectableTagsChanged.load(), 0);

    const std::vector<std::string> items = {"Raw_TXIN1", "Raw_TXOUT1", "Ampl_TXOUT1", "None"};
    EXPECT_EQ(m.ComboBoxTags.Items, items);
    EXPECT_EQ(m.ChartSelTagCB[1].Text(), "Raw_TXIN1");
    EXPECT_EQ(m.ChartTag[1].load(), 0x0101);
    EXPECT_EQ(m.ChartSelTagCB[3].Text(), "Raw_TXOUT1");
    EXPECT_EQ(m.ChartSelTagCB[5].Selected, -1); // RXOUT1 vanished: no selection, no tag
    EXPECT_EQ(m.ChartTag[5].load(), 0);
    EXPECT_TRUE(m.ChartSelTagCB[5].Enabled);

    EXPECT_EQ(m.TagSelect(CHART22, "Ampl_TXOUT1"), 0x0E01);
    EXPECT_EQ(m.ChartTag[5].load(), 0x0E01);

    // Nothing present: lists disabled, "None" only.
    m.SetupSelectableTagsToCheckChanges();
    m.CheckSelectableTagsChanged();
    m.PublishPresentTags();
    m.HandleSelectableTagsOnChange();
    EXPECT_EQ(m.ComboBoxTags.Items, std::vector<std::string>{"None"});
    EXPECT_FALSE(m.ChartSelTagCB[1].Enabled);
}

} // namespace vintrel
