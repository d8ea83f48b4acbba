#include "app/Engine.h"

#include "connection/ForwardServer.h"
#include "connection/SerialPorts.h"
#include "connection/TcpClient.h"

namespace vintrel {

Engine::Engine(MessageSink& sink, const Clock& clock, EngineView& view, EngineHooks& hooks)
    : sink_(sink), clock_(clock), view_(view), hooks_(hooks),
      state_(std::make_unique<StreamState>(sink, clock)), loop_(*state_, *this), extractor_(*state_),
      reports_(*state_, this), dump_(*state_, this), recording_(*state_, sink, files_, view),
      transportThread_(loop_, events_), tcp_(std::make_unique<TcpClient>()),
      forward_(std::make_unique<ForwardServer>(sink)) {
    state_->HandOff.EnableDrawing();
    loop_.AddObserver(forward_.get());
    loop_.AddObserver(&dump_);
    extractor_.AddConsumer(&dump_);
    extractor_.AddConsumer(&recording_.Consumer());
    portList_.Reset();
}

void Engine::OnSwitchedToRunning() {
    hooks_.SwitchedToRunning();
}

void Engine::OnPassState(int state) {
    if (dump_.IsOpen()) dump_.OnPassState(state);
}

void Engine::OnReadLog(const uint32_t (&bufCopy)[4]) {
    dump_.OnReadLog(bufCopy);
}

uint8_t Engine::HeadTail() const {
    return hooks_.ListenQueueHeadTail();
}

Engine::~Engine() {
    Close();
}

void Engine::Start() {
    if (started_) return;
    started_ = true;
    TCPIP_Reconnecting.Done();
    parsing_ = std::make_unique<TParsingThread>(*state_, extractor_, events_);
    transportThread_.Resume();
    transportRunning_ = true;
}

void Engine::Close() {
    if (!started_) return;
    started_ = false;
    recording_.SetButtonsEnabled(false); // a running recording ends, parsed, before anything closes
    if (connected_) DisconnectAndExit();
    DestroyReviveParsing(false);
    // A transport thread still stuck in a read that ignored its cancel is waited for here.
    state_->Control.Terminate();
    transportThread_.WaitFor();
    FinishPark();
    transportRunning_ = false;
    forward_->Stop();
    dump_.Close();
}

std::string Engine::TcpHost() const {
    return tcp_->Host;
}

void Engine::AppMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
    StreamState& s = *state_;
    switch (msg) {
    case WM_FRAMES_READY: {
        const int last = int(wParam);
        const int count = lParam > 0 ? int(lParam) : s.Format().BuffersToSendWithWinMsg;
        for (int i = last - count + 1; i <= last; ++i) ProcessNewFrame((i + kFrameBuffers) % kFrameBuffers);
        break;
    }
    case WM_TRANSPORT_REPORT: {
        s.Decoder.RequestScarceDataInit();
        view_.PskClean();
        recording_.Profile().PskClean();
        static const char* const kErrors[] = {"", "Mailslot error ", "UART error ", "FTDI error ",
                                              "TCP/IP error "};
        if (wParam >= 1 && wParam <= 4) sink_.SetStat(kErrors[wParam], StatStyle::Normal);
        warning_ = lParam ? "Lost sync" : "No signal";
        view_.Warning(warning_, connected_);
        break;
    }
    case WM_TCPIP_RECONNECT:
        TryReconnectTCPIP();
        break;
    case WM_LINK_LOST: // the port stays open: it may come back, and Disconnect closes it
        LinkDropped();
        break;
    case WM_FRAME_REPORT:
        view_.PskClean();
        recording_.Profile().PskClean();
        reports_.OnFrameReport(wParam, lParam);
        view_.FrameReported(wParam == kReportChecksum);
        break;
    case WM_FORMAT_REPORT:
        formatWarning_ = FindingText(UnpackFinding(wParam, lParam));
        view_.FormatWarning(formatWarning_);
        break;
    case WM_TAGS_CHANGED:
        if (!s.Tags.CheckBoxLockCh.load()) {
            s.Tags.HandleSelectableTagsOnChange();
            view_.TagListsChanged();
        }
        break;
    default:
        break;
    }
}

void Engine::ProcessNewFrame(int bufNum) {
    StreamState& s = *state_;
    // The recording clock runs on delivered frames, drawn or not.
    recording_.OnFrameDelivered();
    if (!s.HandOff.Claim(bufNum)) return; // taken back by the parser: counted as not drawn
    TNewProtHeaderEveryFrameData& r = s.Decoder.HeaderEveryFrInfo[bufNum];
    view_.Warning(warning_, false);
    view_.DrawFrame(bufNum, r);
    r.ChannMax.fill(kNotAvailable);
    r.UF = r.MIPS = kNotAvailable;
    r.NoiseDetect.fill(kNotAvailable);
    r.VadStatus.fill(kNotAvailable);
    r.AGC.fill(kNotAvailable);
    ++framesDrawn_;
    s.HandOff.Release(bufNum);
    recording_.SetButtonsEnabled(connected_);
    recording_.Profile().OnFrameDrawn(s.Ring.ProtocolType());
}

void Engine::OnTimer() {
    recording_.Profile().OnTimer(state_->Ring.ProtocolType());
    if (parkPending_) FinishPark(); // the transport thread came back: the close completes
    if (TCPIP_Reconnecting.Due()) sink_.Post(WM_TCPIP_RECONNECT, 0, 0);
}

} // namespace vintrel
