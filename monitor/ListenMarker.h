#pragma once
// The frame the window draws around the chart being listened to.
//
// Threads: the window thread.
#include "stream/Types.h"

namespace vintrel {

class ListenMarker {
public:
    virtual ~ListenMarker() = default;
    // Shows the frame at (Chart_XY[chart].X - 8, Chart_XY[chart].Y - 40), or hides it.
    virtual void ShowListenMarker(TChart chart, bool visible) = 0;
};

} // namespace vintrel
