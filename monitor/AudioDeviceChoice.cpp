#include "monitor/AudioDeviceChoice.h"

#include <algorithm>
#include <cctype>

namespace vintrel {

namespace {
std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}
} // namespace

int AudioEnum(const std::vector<std::string>& names, const std::string& configured) {
    if (names.empty()) return -1;
    const std::string want = Lower(configured);
    int selected = -1;
    for (size_t i = 0; i < names.size(); ++i)
        if (!want.empty() && Lower(names[i]).find(want) != std::string::npos) selected = int(i);
    return selected < 0 ? 0 : selected;
}

} // namespace vintrel
