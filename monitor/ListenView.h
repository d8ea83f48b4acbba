#pragma once
// What the window shows of live listening: the frame around the chart being listened to, and
// whether the output device list can be changed (not while a channel plays).
//
// Threads: the window thread.
#include "stream/Types.h"

namespace vintrel {

class ListenView {
public:
    virtual ~ListenView() = default;
    // Shows the frame around the chart and its controls, or hides it.
    virtual void ShowListenMarker(TChart chart, bool visible) = 0;
    // The device list is enabled (nothing plays) or disabled (a channel plays).
    virtual void EnableDeviceList(bool enabled) = 0;
};

} // namespace vintrel
