#pragma once
// What the status line shows, by the kind of each text (StatKind). A sticky text stays until the
// user's next action, a newer sticky text or a clear aimed at it. A routine text that arrives
// while a sticky one shows is not lost: it is kept as the latest routine text and shown when the
// sticky one goes, since it usually tells a state that still holds (" Log recording", the
// target's platform). The window renders Text() and Style() after every call.
// Threads: one owner (the window thread).
#include "stream/MessageSink.h"

#include <string>
#include <string_view>

namespace vintrel {

class StatusLine {
public:
    explicit StatusLine(std::string_view initial = {}) : routine_(initial) {}

    // Bold texts are sticky whatever `kind` says.
    void Set(std::string_view text, StatStyle style, StatKind kind);
    // Removes the sticky text when it contains, ignoring case, one of `words`, and the routine
    // text the same way, each on its own: a state that ended is not shown again when the sticky
    // text goes.
    void ClearIfContains(const std::string_view* words, int count);
    // A click or key press in the window: the sticky text goes, the latest routine text shows.
    void UserAction() { sticky_ = false; }

    const std::string& Text() const { return sticky_ ? stickyText_ : routine_; }
    StatStyle Style() const { return sticky_ ? stickyStyle_ : StatStyle::Normal; }
    bool Sticky() const { return sticky_; }

private:
    std::string routine_; // the latest routine text, shown while no sticky text is
    std::string stickyText_;
    StatStyle stickyStyle_ = StatStyle::Normal;
    bool sticky_ = false;
    std::string lastOnChange_; // the last OnChange text taken, to drop its repeats
    bool haveOnChange_ = false;
};

} // namespace vintrel
