#include "stream/StatusLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vintrel {

namespace {

// One step on the status line and what it shows afterwards.
struct Step {
    enum Op { Set, Clear, User } op;
    std::string text; // Set: the text; Clear: the word
    StatStyle style = StatStyle::Normal;
    StatKind kind = StatKind::Routine;
    std::string shown;
    bool sticky = false;
};

Step Routine(std::string text, std::string shown, bool sticky = false) {
    return {Step::Set, std::move(text), StatStyle::Normal, StatKind::Routine, std::move(shown), sticky};
}
Step Sticky(std::string text) {
    std::string shown = text;
    return {Step::Set, std::move(text), StatStyle::Normal, StatKind::Sticky, std::move(shown), true};
}
Step OnChange(std::string text, std::string shown, bool sticky = false) {
    return {Step::Set, std::move(text), StatStyle::Normal, StatKind::OnChange, std::move(shown), sticky};
}
Step Clear(std::string word, std::string shown, bool sticky = false) {
    return {Step::Clear, std::move(word), StatStyle::Normal, StatKind::Routine, std::move(shown), sticky};
}
Step User(std::string shown) {
    return {Step::User, {}, StatStyle::Normal, StatKind::Routine, std::move(shown), false};
}

struct Case {
    const char* name;
    std::vector<Step> steps;
};

const std::string kUnknown = "Unrecognized parameter name in /x/VintrelV4_0.config file, line 2";
const std::string kParsed = " 1 consistent fragment(s), total 300valid frames (1 sec) recorded";
const std::string kPlatform = "Platform: General, Profile ver: 1, Vexil revision: 7";

} // namespace

TEST(StatusLine, StickyAndRoutineTexts) {
    const Case cases[] = {
        {"routine replaces routine",
         {Routine(" UART port is open", " UART port is open"), Routine("Lost sync", "Lost sync")}},
        {"routine over sticky is kept behind it and shown on the user's action",
         {Sticky(kUnknown), Routine("Populating ports list", kUnknown, true),
          Routine(kPlatform, kUnknown, true), User(kPlatform)}},
        {"sticky over sticky replaces it; the routine text from before comes back",
         {Routine(" Log recording", " Log recording"), Sticky(kUnknown), Sticky(kParsed),
          User(" Log recording")}},
        {"the user's action without a sticky text changes nothing",
         {Routine("Connection closed", "Connection closed"), User("Connection closed")}},
        {"a clear aimed at the sticky text removes it",
         {Routine(kPlatform, kPlatform), Sticky(" Log recording"), Clear("log RECORDING", kPlatform)}},
        {"a clear of other words leaves the sticky text, and removes the routine text it matches",
         {Routine("Populating ports list", "Populating ports list"), Sticky(kUnknown),
          Clear("Populating ports list", kUnknown, true), User("")}},
        {"a clear that matches nothing changes nothing",
         {Routine("Inconsistent frame numbers.", "Inconsistent frame numbers."),
          Clear("nothing like it", "Inconsistent frame numbers.")}},
        {"an empty routine text behind a sticky one is the line's clear after it",
         {Routine("Populating ports list", "Populating ports list"), Sticky(kUnknown),
          Routine("", kUnknown, true), User("")}},
        {"a repeated platform line is dropped, a new one shown, even after other texts",
         {OnChange(kPlatform, kPlatform),
          Routine("Inconsistent frame numbers.", "Inconsistent frame numbers."),
          OnChange(kPlatform, "Inconsistent frame numbers."), OnChange(kPlatform + "1", kPlatform + "1")}},
        {"a platform line does not replace a sticky text",
         {Sticky(kParsed), OnChange(kPlatform, kParsed, true), User(kPlatform)}},
    };
    for (const Case& c : cases) {
        StatusLine line;
        int i = 0;
        for (const Step& s : c.steps) {
            switch (s.op) {
            case Step::Set:
                line.Set(s.text, s.style, s.kind);
                break;
            case Step::Clear: {
                const std::string_view word = s.text;
                line.ClearIfContains(&word, 1);
                break;
            }
            case Step::User:
                line.UserAction();
                break;
            }
            EXPECT_EQ(line.Text(), s.shown) << c.name << ", step " << i;
            EXPECT_EQ(line.Sticky(), s.sticky) << c.name << ", step " << i;
            ++i;
        }
    }
}

TEST(StatusLine, BoldIsStickyAndKeepsItsStyle) {
    StatusLine line("Not connected");
    EXPECT_EQ(line.Text(), "Not connected");
    line.Set("Checksum error", StatStyle::BoldRed, StatKind::Routine);
    EXPECT_TRUE(line.Sticky());
    EXPECT_EQ(line.Style(), StatStyle::BoldRed);
    line.Set("Inconsistent frame numbers.", StatStyle::Normal, StatKind::Routine);
    EXPECT_EQ(line.Text(), "Checksum error");
    // The clear every 1024 frames tries its words in turn; the second one matches.
    const std::string_view words[] = {"Inconsistent ", "Checksum"};
    line.ClearIfContains(words, 2);
    EXPECT_FALSE(line.Sticky());
    EXPECT_EQ(line.Style(), StatStyle::Normal);
    EXPECT_EQ(line.Text(), ""); // the routine text behind matched the first word
    line.Set("Disconnect first", StatStyle::Bold, StatKind::Routine);
    line.Set("Connection closed", StatStyle::Normal, StatKind::Routine);
    line.UserAction();
    EXPECT_EQ(line.Text(), "Connection closed");
    EXPECT_EQ(line.Style(), StatStyle::Normal);
}

} // namespace vintrel
