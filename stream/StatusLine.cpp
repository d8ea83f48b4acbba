#include "stream/StatusLine.h"

#include "stream/Text.h"

namespace vintrel {

void StatusLine::Set(std::string_view text, StatStyle style, StatKind kind) {
    if (kind == StatKind::OnChange) {
        if (haveOnChange_ && lastOnChange_ == text) return;
        lastOnChange_.assign(text);
        haveOnChange_ = true;
    }
    if (kind == StatKind::Sticky || style != StatStyle::Normal) {
        stickyText_.assign(text);
        stickyStyle_ = style;
        sticky_ = true;
        return;
    }
    routine_.assign(text);
}

void StatusLine::ClearIfContains(const std::string_view* words, int count) {
    const auto matches = [&](const std::string& text) {
        for (int i = 0; i < count; ++i)
            if (ContainsNoCase(text, words[i])) return true;
        return false;
    };
    if (sticky_ && matches(stickyText_)) sticky_ = false;
    if (matches(routine_)) routine_.clear();
}

} // namespace vintrel
