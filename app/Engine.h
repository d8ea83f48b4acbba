#pragma once
// The receiver as the main window owns it: the shared stream state, the transport thread for
// the program's whole life, one parsing thread per connection, the open transport, connection
// management, the forwarding server and the window-side handling of the worker threads'
// messages.
//
// Threads: every public method runs on the window thread (the GUI's event loop, or the
// command-line tool's main loop), except that the message sink may be called from any thread.
#include "app/ConnectSettings.h"
#include "app/EngineHooks.h"
#include "app/EngineView.h"
#include "app/LinkCounters.h"
#include "connection/Ftdi.h"
#include "connection/FtdiPorts.h"
#include "recording/PosixFileSystem.h"
#include "recording/RecordingControl.h"
#include "stream/DebugDump.h"
#include "stream/FrameExtractor.h"
#include "stream/FrameReports.h"
#include "stream/ParsingThread.h"
#include "stream/StreamState.h"
#include "stream/TransportThread.h"

#include <memory>
#include <string>

namespace vintrel {

class TcpClient;
class ForwardServer;
class SerialPort;

class Engine : private ReconnectControl, private TransportLoopListener, private QueueProbe {
public:
    // The view also gives the settings read at every connect (also the automatic ones) and
    // whether the delay window is on screen; the hooks answer the worker threads.
    Engine(MessageSink& sink, const Clock& clock, EngineView& view, EngineHooks& hooks = EngineHooks::None());
    ~Engine() override;
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    StreamState& State() { return *state_; }
    FrameExtractor& Extractor() { return extractor_; }
    FrameReports& Reports() { return reports_; }
    Ftdi& FtdiLib() { return ftdi_; }
    ForwardServer& Forwarding() { return *forward_; }
    DebugDump& Dump() { return dump_; }
    // Recording, record parsing and the profile display.
    RecordingControl& Recording() { return recording_; }

    // Starts the transport thread in INACTIVE. The FTDI library is loaded before.
    void Start();
    // Closing: parks the threads, TERMINATING, waits for the transport thread.
    void Close();

    // The Connect button: connects when nothing is open, else disconnects. `automatic` marks a
    // reconnection made by the program itself. Returns true when connected afterwards.
    bool ConnectButtonClick(bool automatic, ConnectCorrections* corrected = nullptr);
    bool Connected() const { return connected_; }
    // Closes whatever is open; false when nothing was. A running recording ends and is parsed,
    // and listening ends, unless `automatic` (a reconnection made by the program): the recording
    // then stays open, the frames already in the ring are taken into it first, and the view
    // plays the listened chart again once frames flow.
    bool DisconnectAndExit(bool automatic = false);
    // Parks the transport thread (cancelling a blocked read, waiting at most 2 s for it) and
    // replaces the parsing thread, which first takes the whole frames left in the ring when
    // takeWholeFrames. False when the transport thread did not park in time: it keeps its
    // transport, and the ring is cleared once it has parked.
    bool DestroyReviveParsing(bool revive, bool takeWholeFrames = false);
    // A TCP/IP reconnection is pending (window thread only).
    bool TcpIpReconnecting() const { return TCPIP_Reconnecting.Pending(); }
    // The diagnostics panel's "Cancel Retrying and close": a recording kept for the
    // reconnection ends with it.
    void CancelTcpIpRetrying();
    // The transport thread did not park when last asked; Connect is refused until it has.
    bool ParkPending() const { return parkPending_; }
    void TryReconnectTCPIP();
    // Every second: asks for a TCP/IP reconnection while one is pending and 5 s have passed.
    void OnTimer();

    // Window side of the worker threads' messages (0x914, 0x915, 0x917, 0x918 and the lists).
    void AppMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam);
    // One delivered frame, window thread; the view draws it.
    void ProcessNewFrame(int bufNum);

    // "FTDI ports only" and "Upd": rebuilds the port list; returns whether a port was listed.
    // Refused while connected, so that the open port's handle is never dropped from under the
    // connection.
    bool FTDICheckBoxClick(bool ftdiOnly);
    // The settings dialog's port list and whether it lists at least one port.
    const PortListModel& Ports() const { return portList_; }
    bool PortsFound() const { return hwPortEna_; }
    // The COM number of the port in use (0: none). Before the list is built, the one the list
    // preselects (the configuration file's).
    uint32_t ComPort() const { return comPortNum_; }
    void PreferComPort(uint32_t com) { comPortNum_ = com; }

    // Link drops and the reconnections that succeeded, since the user last connected.
    const LinkCounters& Links() const { return links_; }
    uint64_t FramesDrawn() const { return framesDrawn_; }
    const std::string& LastWarning() const { return warning_; }
    // What the stream said against the chosen format or byte order (empty: nothing, or cleared by
    // the user's own Connect).
    const std::string& FormatWarning() const { return formatWarning_; }
    // The listener address the TCP client uses ("NOHOST" when none).
    std::string TcpHost() const;

private:
    void Reconnect() override; // after a close run of inconsistent frames
    // The transport thread's passes: the debug dump and the hooks hear of them.
    void OnSwitchedToRunning() override;
    void OnPassState(int state) override;
    void OnReadLog(const uint32_t (&bufCopy)[4]) override;
    // The listening queue's position for the debug dump, from the hooks.
    uint8_t HeadTail() const override;
    bool OpenTcpIp(const ConnectSettings& cs, bool automatic);
    bool OpenFtdi(const ConnectSettings& cs, uint32_t rate);
    bool OpenUart(const ConnectSettings& cs, const std::string& rateText);
    void CommonTail();
    void EnaDisOnCnctBtn(bool connected);
    void CleanChartsData();
    bool AnythingOpen() const;
    void CloseTransport();
    // The link was lost (not by the user): counted once, while connected.
    void LinkDropped();
    // Counts a reconnection that ended connected; shows the counters either way.
    void Reconnected(bool connected);
    // Completes a disconnect whose park timed out, once the transport thread has parked.
    bool FinishPark();
    // Both worker threads parked: the ring and the frame buffers start afresh.
    void ClearParked();

    MessageSink& sink_;
    const Clock& clock_;
    EngineView& view_;
    EngineHooks& hooks_;
    std::unique_ptr<StreamState> state_;
    StreamEvents events_;
    TransportLoop loop_;
    FrameExtractor extractor_;
    FrameReports reports_;
    DebugDump dump_;
    PosixFileSystem files_;
    RecordingControl recording_;
    TTransportThread transportThread_;
    std::unique_ptr<TParsingThread> parsing_;

    Ftdi ftdi_;
    PortListModel portList_;
    TFtdiList ftdiList_{};
    uint32_t comPortNum_ = 0;
    bool hwPortEna_ = false;
    FT_HANDLE FtdiHandle = nullptr;
    std::unique_ptr<TcpClient> tcp_;
    std::unique_ptr<SerialPort> uart_;
    std::unique_ptr<Transport> transport_;
    std::unique_ptr<ForwardServer> forward_;

    TTransport transportIs_ = TR_NONE;
    bool connected_ = false;
    bool parkPending_ = false;
    ReconnectSchedule TCPIP_Reconnecting{clock_}; // the last try is LastTcpIpReconnTime
    bool started_ = false;
    bool transportRunning_ = false;
    LinkCounters links_;
    uint64_t framesDrawn_ = 0;
    std::string warning_;
    std::string formatWarning_;
};

} // namespace vintrel
