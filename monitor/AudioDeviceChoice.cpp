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

int AudioEnum(const std::vector<std::string>& devices, const std::string& configured) {
    const std::string want = Lower(configured);
    if (devices.empty() || want == Lower(kNoAudioDevice)) return 0;
    int selected = 1; // the first device
    for (size_t i = 0; i < devices.size(); ++i)
        if (!want.empty() && Lower(devices[i]).find(want) != std::string::npos) selected = int(i) + 1;
    return selected;
}

} // namespace vintrel
