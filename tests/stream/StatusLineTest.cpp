#include "stream/StatusLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vintrel {

// Each step: r routine, s sticky, b bold (routine kind), o on-change, c clear (text: the word),
// u the user's action; then the text shown and whether it is sticky.
TEST(StatusLine, StickyAndRoutineTexts) {
    struct Step {
        char op;
        std::string text, shown;
        bool sticky;
    };
    const std::string cfg = "Unrecognized parameter name in /x/VintrelV4_0.config file, line 2";
    const std::string parsed = " 1 consistent fragment(s), total 300valid frames (1 sec) recorded";
    const std::string platform = "Platform: General, Profile ver: 1, Vexil revision: 7";
    const std::vector<std::vector<Step>> cases = {
        // A routine text waits behind a sticky one and shows on the user's action.
        {{'r', "Lost sync", "Lost sync", false},
         {'s', cfg, cfg, true},
         {'r', "Populating ports list", cfg, true},
         {'r', platform, cfg, true},
         {'u', "", platform, false},
         {'u', "", platform, false}},
        // A newer sticky text replaces the older one; bold is sticky whatever its kind.
        {{'r', " Log recording", " Log recording", false},
         {'s', cfg, cfg, true},
         {'s', parsed, parsed, true},
         {'b', "Checksum error", "Checksum error", true},
         {'u', "", " Log recording", false}},
        // A clear aimed at the sticky text removes it; a clear of other words leaves it and
        // removes the routine text behind it they match.
        {{'r', platform, platform, false},
         {'s', " Log recording", " Log recording", true},
         {'c', "log RECORDING", platform, false},
         {'s', cfg, cfg, true},
         {'c', "nothing like it", cfg, true},
         {'c', "platform", cfg, true},
         {'u', "", "", false}},
        // The platform line shows only when it changes, and not over a sticky text.
        {{'o', platform, platform, false},
         {'r', "Inconsistent frame numbers.", "Inconsistent frame numbers.", false},
         {'o', platform, "Inconsistent frame numbers.", false},
         {'s', parsed, parsed, true},
         {'o', platform + "1", parsed, true},
         {'u', "", platform + "1", false}},
    };
    for (size_t c = 0; c < cases.size(); ++c) {
        StatusLine line("Not connected");
        EXPECT_EQ(line.Text(), "Not connected");
        for (size_t i = 0; i < cases[c].size(); ++i) {
            const Step& s = cases[c][i];
            const std::string_view word = s.text;
            if (s.op == 'c')
                line.ClearIfContains(&word, 1);
            else if (s.op == 'u')
                line.UserAction();
            else
                line.Set(s.text, s.op == 'b' ? StatStyle::BoldRed : StatStyle::Normal,
                         s.op == 's'   ? StatKind::Sticky
                         : s.op == 'o' ? StatKind::OnChange
                                       : StatKind::Routine);
            EXPECT_EQ(line.Text(), s.shown) << "case " << c << ", step " << i;
            EXPECT_EQ(line.Sticky(), s.sticky) << "case " << c << ", step " << i;
            EXPECT_EQ(line.Style(), s.op == 'b' ? StatStyle::BoldRed : StatStyle::Normal) << c << ", " << i;
        }
    }
}

} // namespace vintrel
