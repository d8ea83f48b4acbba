#pragma once
// What the engine asks of the window. The GUI implements it on the window thread; the
// command-line tool and the tests implement what they need. Every call comes from the thread
// that runs the engine's window side.
#include "app/ConnectSettings.h"
#include "app/LinkCounters.h"
#include "recording/RecordingView.h"
#include "stream/FrameRecord.h"

#include <string_view>

namespace vintrel {

class EngineView : public RecordingView {
public:
    virtual ~EngineView() = default;
    // The drawing half of one delivered frame (charts, spectrum, MIPS).
    virtual void DrawFrame(int bufNum, TNewProtHeaderEveryFrameData& r) {}
    // A frame report: marker stripes on the charts whose listen button is enabled.
    virtual void FrameReported(bool checksum) {}
    // The warning panel: its text ("No signal", "Lost sync") and whether it shows.
    virtual void Warning(std::string_view text, bool show) {}
    // The stream contradicts the format or byte order chosen: the one line that says how. The
    // warning stays until the next connection; the status line does not overwrite it.
    virtual void FormatWarning(std::string_view text) {}
    // Connect button caption and the controls that follow the connection.
    virtual void ConnectedChanged(bool connected) {}
    // The link drops or reconnections changed (also to 0 when the user connects).
    virtual void LinkCountersChanged(const LinkCounters& links) {}
    // The diagnostics panel in its TCP/IP error form; Hide when the user reconnects.
    virtual void TcpIpError(std::string_view text) {}
    virtual void HideTcpIpError() {}
    // A system-modal error box.
    virtual void ErrorBox(std::string_view title, std::string_view text) {}
    // The channel lists were rebuilt from the tags the target sends.
    virtual void TagListsChanged() {}
    // The profile display is cleared.
    virtual void PskClean() {}
    // Stops recording and listening and disables the buttons (false), or enables them (true).
    // `automatic`: the program closes the connection to reconnect by itself, so what was listened
    // to plays again once frames flow; the user's own Disconnect ends listening for good.
    virtual void SetButtonsEnabled(bool enabled, bool automatic) {}
    // The settings dialog's values, read at every connect (also the automatic ones).
    virtual ConnectSettings CurrentConnectSettings() const { return {}; }
    // True while the delay window is on screen: connecting then also feeds it.
    virtual bool DelayWindowShown() const { return false; }
};

} // namespace vintrel
