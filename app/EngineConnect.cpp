// Connection management: opening and closing the transports, parking the worker threads, and
// the automatic reconnections.
#include "app/Engine.h"

#include "connection/FtdiTransport.h"
#include "connection/IpAddress.h"
#include "connection/SerialPorts.h"
#include "connection/SerialTransport.h"
#include "connection/TcpClient.h"
#include "connection/TcpTransport.h"
#include "stream/Text.h"

#include <thread>

namespace vintrel {

namespace {

// Parking cancels a blocked read, so the transport thread answers within one short read
// time-out; one that has not answered in 2 s is stuck in its transport.
constexpr uint32_t kParkTimeoutMs = 2000;
constexpr const char* kNotParked = "The transport did not stop: Connect is refused until it does";
// What an empty or unreadable rate or reconnection threshold setting stands for.
constexpr uint32_t kDefaultRate = 12000000;
constexpr int32_t kDefaultReconnectThreshold = 3;

} // namespace

bool Engine::FTDICheckBoxClick(bool ftdiOnly) {
    if (connected_) {
        sink_.SetStat("Disconnect before updating the port list", StatStyle::Normal);
        return hwPortEna_;
    }
    if (uart_) uart_->Close();
    if (ftdiOnly && ftdi_.FTDIdriverFound)
        hwPortEna_ = EnumerateFtdi(ftdi_, portList_, ftdiList_, comPortNum_);
    else
        hwPortEna_ = SerialPortEnum(portList_, {}, &sink_);
    return hwPortEna_;
}

bool Engine::AnythingOpen() const {
    return tcp_->Host != kNoHost || FtdiHandle != nullptr || (uart_ && uart_->IsOpen());
}

void Engine::CleanChartsData() {
    for (auto& r : state_->Decoder.HeaderEveryFrInfo) r.ChannMax.fill(kNotAvailable);
}

bool Engine::ConnectButtonClick(bool automatic, ConnectCorrections* corrected) {
    const ConnectSettings cs = view_.CurrentConnectSettings();
    StreamState& s = *state_;
    if (!FinishPark()) {
        sink_.SetStat(kNotParked, StatStyle::Bold);
        return false;
    }
    transportIs_ = TR_NONE;
    s.Settings.BigEndian = cs.BigEndian;
    if (!automatic && !formatWarning_.empty()) {
        // The user's own connect, perhaps with other settings: the stream is judged afresh.
        formatWarning_.clear();
        view_.FormatWarning("");
    }

    std::string rateText(TrimBlanks(cs.RateText));
    const std::optional<uint32_t> givenRate = ParseDecimal<uint32_t>(rateText);
    if (!givenRate) rateText = std::to_string(kDefaultRate);
    const uint32_t rate = givenRate.value_or(kDefaultRate);
    if (corrected) corrected->RateText = rateText;

    if (!automatic) {
        view_.HideTcpIpError();
        TCPIP_Reconnecting.Done();
        // A recording kept open for a reconnection that did not succeed ends when the user acts.
        if (!connected_) recording_.SetButtonsEnabled(false);
    }
    if (DisconnectAndExit(automatic)) return false;
    CleanChartsData(); // no parsing thread runs now

    std::string threshText(TrimBlanks(cs.AutoReconnectText));
    const std::optional<int32_t> givenThresh = ParseDecimal<int32_t>(threshText);
    if (!givenThresh) threshText = std::to_string(kDefaultReconnectThreshold);
    const int32_t thresh = givenThresh.value_or(kDefaultReconnectThreshold);
    if (corrected) corrected->AutoReconnectText = threshText;
    reports_.Counters().InconsistFramesThresh = thresh;
    s.Settings.VerifyChecksum = cs.VerifyChecksum;
    s.SetFormat(cs.Format);

    bool ok;
    if (cs.TransportButton == ConnectSettings::Link::TcpIp)
        ok = OpenTcpIp(cs, automatic);
    else if (cs.FtdiPortsOnly)
        ok = OpenFtdi(cs, rate);
    else
        ok = OpenUart(cs, rateText);
    if (!ok) return false;
    if (!automatic) {
        links_.Reset(); // the user's own connection: drops and reconnects count from here
        view_.LinkCountersChanged(links_);
    }
    CommonTail();
    return true;
}

bool Engine::OpenTcpIp(const ConnectSettings& cs, bool automatic) {
    std::string host, error;
    uint16_t port = 0;
    const int colon = ParseIPaddrPortString(cs.IPAddrPort, host, port, error);
    if (colon <= 0) {
        tcp_->Host = kNoHost;
        if (colon < 0)
            view_.ErrorBox("Sondrel", error); // a part that is no number aborts the attempt
        else
            view_.TcpIpError("Wrong addr: port " + cs.IPAddrPort);
        return false;
    }
    tcp_->Host = host;
    tcp_->Port = port;
    view_.SetButtonsEnabled(false, automatic);
    DestroyReviveParsing(true);
    bool shown = false;
    if (!tcp_->Connect(kTcpConnectTimeoutMs, error)) {
        view_.TcpIpError(error);
        shown = true;
    }
    if (tcp_->Connected()) {
        transport_ = std::make_unique<TcpTransport>(*tcp_, sink_);
        transportIs_ = TR_TCPIP;
        sink_.SetStat(" TCP/IP connected", StatStyle::Normal);
        DestroyReviveParsing(true);
        return true;
    }
    tcp_->Host = kNoHost;
    if (!shown) view_.TcpIpError("Could not reconnect tcp\\ip");
    return false;
}

bool Engine::OpenFtdi(const ConnectSettings& cs, uint32_t rate) {
    PortListModel list = portList_;
    list.Selected = cs.PortIndex;
    std::string cause;
    const FT_STATUS st = FTDIinit(ftdi_, list, ftdiList_, rate, FtdiHandle, &cause);
    if (st != FT_OK) {
        ftdi_.Close(FtdiHandle);
        view_.ErrorBox("TCP Sondrel", "Setting USB adapter error" + (cause.empty() ? "" : ": " + cause));
        portList_.Selected = 0;
        sink_.SetStat("Error openning FTDI", StatStyle::Normal);
        comPortNum_ = 0;
        return false;
    }
    transport_ = std::make_unique<FtdiTransport>(ftdi_, FtdiHandle, &sink_);
    transportIs_ = TR_FTDI;
    if (cs.PortIndex >= 1 && cs.PortIndex <= int(ftdiList_.size()))
        comPortNum_ = ftdiList_[cs.PortIndex - 1].ComPort;
    sink_.SetStat(" FTDI port is open", StatStyle::Normal);
    DestroyReviveParsing(true);
    return true;
}

bool Engine::OpenUart(const ConnectSettings& cs, const std::string& rateText) {
    if (!uart_) uart_ = std::make_unique<SerialPort>();
    uart_->Close();
    const std::string device(TrimBlanks(cs.PortItem));
    if (cs.PortIndex == 0 || device.empty() || device == "None") {
        view_.ErrorBox("Sondrel", "Serial port access error");
        return false;
    }
    const UartOpenResult r = uart_->OpenUART(device, rateText);
    if (!r.Opened && !r.Message.empty()) view_.ErrorBox(kSerialSetupErrorTitle, r.Message);
    if (!uart_->IsOpen()) {
        view_.ErrorBox("Sondrel", "UART opening error" + (r.Cause.empty() ? "" : ": " + r.Cause));
        portList_.Selected = 0;
        sink_.SetStat("Error opening USB adapter", StatStyle::Normal);
        comPortNum_ = 0;
        return false;
    }
    transport_ = std::make_unique<UartTransport>(*uart_, &sink_);
    transportIs_ = TR_UART;
    // A COM number here is the trailing number of the device name (/dev/ttyUSB3 -> 3).
    comPortNum_ = SerialComNumber(device);
    sink_.SetStat(" UART port is open", StatStyle::Normal);
    DestroyReviveParsing(true);
    return true;
}

void Engine::CommonTail() {
    StreamState& s = *state_;
    transport_ = hooks_.Wrap(std::move(transport_));
    s.Control.Connect(transport_.get(), transportIs_);
    reports_.ParserStarts();
    // A recording kept across a reconnection keeps its flag.
    s.Set(uint8_t((s.Flags() & StreamState::FRecord) | StreamState::Usb |
                  (view_.DelayWindowShown() ? StreamState::Corr : 0)));
    EnaDisOnCnctBtn(true);
    connected_ = true;
    if (parsing_) parsing_->Resume();
}

void Engine::EnaDisOnCnctBtn(bool connected) {
    view_.PskClean();
    recording_.Profile().PskClean();
    state_->Decoder.NewProtHeaderScarceDataInit();
    view_.ConnectedChanged(connected);
}

bool Engine::DisconnectAndExit(bool automatic) {
    if (!AnythingOpen()) {
        if (parsing_ && parsing_->Started()) events_.TerminateParsingThread.Set();
        return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!automatic) recording_.SetButtonsEnabled(false); // a running recording ends here and is parsed
    view_.SetButtonsEnabled(false, automatic);
    parkPending_ = !DestroyReviveParsing(true, automatic);
    connected_ = false;
    CleanChartsData();
    EnaDisOnCnctBtn(false);
    view_.Warning(warning_, false);
    if (parkPending_) {
        // A read that ignored the cancel still runs in the transport: it keeps its transport
        // until the thread comes back.
        sink_.SetStat(kNotParked, StatStyle::Bold);
    } else {
        CloseTransport();
        sink_.SetStat("Connection closed", StatStyle::Normal);
    }
    view_.PskClean();
    return true;
}

void Engine::CloseTransport() {
    // Close what is open, whatever the dialog's transport buttons say now: the TCP/IP button
    // stays enabled while connected, and closing by the buttons could leave a socket open.
    transport_.reset();
    if (tcp_->Host != kNoHost) {
        tcp_->Disconnect();
        tcp_->Host = kNoHost;
    }
    if (FtdiHandle) ftdi_.Close(FtdiHandle);
    if (uart_) uart_->Close();
}

bool Engine::FinishPark() {
    if (!parkPending_) return true;
    if (!state_->Control.Parked()) return false;
    parkPending_ = false;
    ClearParked();
    CloseTransport();
    sink_.SetStat("Connection closed", StatStyle::Normal);
    return true;
}

void Engine::ClearParked() {
    StreamState& s = *state_;
    s.Ring.ZeroFill();
    s.Ring.ResetParked();
    s.HandOff.ResetParked(); // a new parsing thread starts at buffer 0
}

bool Engine::DestroyReviveParsing(bool revive, bool takeWholeFrames) {
    StreamState& s = *state_;
    bool parked = true;
    if (transportRunning_ && s.Control.State() != TERMINATING) {
        // The park cancels a read blocked in the transport; the thread acknowledges once it is
        // away from the transport and the ring.
        s.Control.RequestPark();
        parked = s.Control.WaitParked(kParkTimeoutMs);
    }
    if (parsing_) parsing_->Terminate(takeWholeFrames);
    parsing_.reset();
    if (parked) ClearParked();
    // Recording is the only part of the state that outlives a parked connection.
    s.Set(s.Flags() & StreamState::FRecord);
    if (revive) parsing_ = std::make_unique<TParsingThread>(*state_, extractor_, events_);
    return parked;
}

void Engine::LinkDropped() {
    if (!connected_) return; // a connection already closed is not lost twice
    links_.Dropped();
    view_.LinkCountersChanged(links_);
}

void Engine::Reconnected(bool connected) {
    if (connected) links_.Reconnected();
    view_.LinkCountersChanged(links_);
}

void Engine::Reconnect() {
    StreamState& s = *state_;
    if (s.Control.State() == TERMINATING) return;
    const bool lost = connected_;
    LinkDropped();
    // Disconnect, keeping a recording: the ring is cleared once both threads are parked.
    ConnectButtonClick(true);
    reports_.Counters().InconsistFramesCount = 0;
    const bool connected = ConnectButtonClick(true);
    Reconnected(lost && connected);
}

void Engine::CancelTcpIpRetrying() {
    TCPIP_Reconnecting.Done();
    if (!connected_) recording_.SetButtonsEnabled(false);
}

void Engine::TryReconnectTCPIP() {
    StreamState& s = *state_;
    if (s.Control.State() == TERMINATING) return;
    // A request from a connection the user has closed meanwhile is void.
    if (!connected_ && !TCPIP_Reconnecting.Pending()) return;
    // A live connection asked for this: the peer closed or reset it, the socket failed, or it
    // brought nothing for 15 s. Otherwise this is the retry of a connection already lost.
    if (connected_) {
        LinkDropped();
        ConnectButtonClick(true);
    }
    reports_.Counters().InconsistFramesCount = 0;
    Reconnected(ConnectButtonClick(true));
    TCPIP_Reconnecting.Tried();
    if (tcp_->Connected()) TCPIP_Reconnecting.Done();
}

} // namespace vintrel
