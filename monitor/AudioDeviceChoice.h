#pragma once
// Which entry the settings dialog's output device list selects at start-up. The list is "None"
// followed by every output device in order; its position is the device that plays (0: none).
#include <string>
#include <vector>

namespace vintrel {

// The list's first entry: nothing plays.
inline constexpr const char* kNoAudioDevice = "None";

// `devices`: the output devices' names; `configured`: the stored device text (lower case), empty
// when the configuration has none (first start). Every device whose lower-cased name contains the
// text is selected in turn, so the last such one wins. A stored "none" keeps "None". Any other
// text that matches no device, and an empty one, select the first device, so that a new user
// hears sound. Without devices only "None" is there: 0.
int AudioEnum(const std::vector<std::string>& devices, const std::string& configured);

} // namespace vintrel
