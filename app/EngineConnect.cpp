// Connection management: opening and closing the transports, parking the worker threads, and
// the automatic reconnections.
#include "app/Engine.h"

#include "connection/FtdiTransport.h"
#include "connection/IpAddress.h"
#include "connection/SerialPorts.h"
#include "connection/SerialTransport.h"
#include "connection/TcpClient.h"
#include "connection/TcpTransport.h"

#include <charconv>
#include <thread>

namespace vintrel {

namespace {

constexpr uint32_t kParkTimeoutMs = 15000;
constexpr const char* kDefaultRate = "12000000";

std::string Trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return "";
    const auto e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

template <class T> bool ToInt(const std::string& text, T& out) {
    const std::string t = Trim(text);
    const char* first = t.data();
    if (!t.empty() && *first == '+') ++first;
    const auto [p, ec] = std::from_chars(first, t.data() + t.size(), out);
    return !t.empty() && ec == std::errc() && p == t.data() + t.size();
}

} // namespace

bool Engine::FTDICheckBoxClick(bool ftdiOnly) {
    if (connected_) {
        sink_.SetStat("Disconnect before updating the port list", StatStyle::Normal);
        return HwPortEna;
    }
    if (uart_) uart_->Close();
    if (ftdiOnly && ftdi_.FTDIdriverFound)
        HwPortEna = EnumerateFtdi(ftdi_, PortList, FtdiList, ComPortNum);
    else
        HwPortEna = SerialPortEnum(PortList, {}, &sink_);
    return HwPortEna;
}

bool Engine::AnythingOpen() const {
    return tcp_->Host != kNoHost || FtdiHandle != nullptr || (uart_ && uart_->IsOpen());
}

void Engine::CleanChartsData() {
    for (auto& r : state_->Decoder.HeaderEveryFrInfo) r.ChannMax.fill(kNotAvailable);
}

bool Engine::ConnectButtonClick(bool automatic, ConnectCorrections* corrected) {
    const ConnectSettings cs = Settings ? Settings() : ConnectSettings{};
    StreamState& s = *state_;
    s.TransportIs = TR_NONE;
    s.Settings.BigEndian = cs.BigEndian;

    uint32_t rate = 0;
    std::string rateText = Trim(cs.RateText);
    if (!ToInt(rateText, rate)) {
        rateText = kDefaultRate;
        rate = 12000000;
    }
    if (corrected) corrected->RateText = rateText;

    if (!automatic) {
        view_.HideTcpIpError();
        s.TCPIP_Reconnecting = false;
    }
    if (DisconnectAndExit()) return false;
    CleanChartsData(); // no parsing thread runs now

    int32_t thresh = 3;
    std::string threshText = Trim(cs.AutoReconnectText);
    if (!ToInt(threshText, thresh)) {
        thresh = 3;
        threshText = "3";
    }
    if (corrected) corrected->AutoReconnectText = threshText;
    s.Counters.InconsistFramesThresh = thresh;
    s.Settings.VerifyChecksum = cs.VerifyChecksum;
    s.SetFormat(cs.Format);

    bool ok;
    if (cs.TransportButton == ConnectSettings::Link::TcpIp)
        ok = OpenTcpIp(cs);
    else if (cs.FtdiPortsOnly)
        ok = OpenFtdi(cs, rate);
    else
        ok = OpenUart(cs, rateText);
    if (!ok) return false;
    CommonTail();
    return true;
}

bool Engine::OpenTcpIp(const ConnectSettings& cs) {
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
    view_.SetButtonsEnabled(false);
    DestroyReviveParsing(true);
    bool shown = false;
    if (!tcp_->Connect(kTcpConnectTimeoutMs, error)) {
        view_.TcpIpError(error);
        shown = true;
    }
    if (tcp_->Connected()) {
        transport_ = std::make_unique<TcpTransport>(*tcp_, sink_);
        state_->OpenTransport = transport_.get();
        state_->TransportIs = TR_TCPIP;
        sink_.SetStat(" TCP/IP connected", StatStyle::Normal);
        DestroyReviveParsing(true);
        return true;
    }
    tcp_->Host = kNoHost;
    if (!shown) view_.TcpIpError("Could not reconnect tcp\\ip");
    return false;
}

bool Engine::OpenFtdi(const ConnectSettings& cs, uint32_t rate) {
    PortListModel list = PortList;
    list.Selected = cs.PortIndex;
    const FT_STATUS st = FTDIinit(ftdi_, list, FtdiList, rate, FtdiHandle);
    if (st != FT_OK) {
        ftdi_.Close(FtdiHandle);
        view_.ErrorBox("TCP Sondrel", "Setting USB adapter error");
        PortList.Selected = 0;
        sink_.SetStat("Error openning FTDI", StatStyle::Normal);
        ComPortNum = 0;
        return false;
    }
    transport_ = std::make_unique<FtdiTransport>(ftdi_, FtdiHandle);
    state_->OpenTransport = transport_.get();
    state_->TransportIs = TR_FTDI;
    if (cs.PortIndex >= 1 && cs.PortIndex <= int(FtdiList.size()))
        ComPortNum = FtdiList[cs.PortIndex - 1].ComPort;
    sink_.SetStat(" FTDI port is open", StatStyle::Normal);
    DestroyReviveParsing(true);
    return true;
}

bool Engine::OpenUart(const ConnectSettings& cs, const std::string& rateText) {
    if (!uart_) uart_ = std::make_unique<SerialPort>();
    uart_->Close();
    const std::string device = Trim(cs.PortItem);
    if (cs.PortIndex == 0 || device.empty() || device == "None") {
        view_.ErrorBox("Sondrel", "Serial port access error");
        return false;
    }
    const UartOpenResult r = uart_->OpenUART(device, rateText);
    if (!r.Opened && !r.Message.empty()) view_.ErrorBox(kSerialSetupErrorTitle, r.Message);
    if (!uart_->IsOpen()) {
        view_.ErrorBox("Sondrel", "UART opening error");
        PortList.Selected = 0;
        sink_.SetStat("Error opening USB adapter", StatStyle::Normal);
        ComPortNum = 0;
        return false;
    }
    transport_ = std::make_unique<UartTransport>(*uart_);
    state_->OpenTransport = transport_.get();
    state_->TransportIs = TR_UART;
    // A COM number here is the trailing number of the device name (/dev/ttyUSB3 -> 3).
    ComPortNum = SerialComNumber(device);
    sink_.SetStat(" UART port is open", StatStyle::Normal);
    DestroyReviveParsing(true);
    return true;
}

void Engine::CommonTail() {
    StreamState& s = *state_;
    s.TransportThreadCounter = 0;
    s.TransportState = CONNECTING;
    s.State = uint8_t(StreamState::Usb | (DelayWindowShown && DelayWindowShown() ? StreamState::Corr : 0));
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

bool Engine::DisconnectAndExit() {
    StreamState& s = *state_;
    if (!AnythingOpen()) {
        if (parsing_ && parsing_->Started()) events_.TerminateParsingThread.Set();
        return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    recording_.SetButtonsEnabled(false); // a running recording ends here and is parsed
    view_.SetButtonsEnabled(false);
    DestroyReviveParsing(true);
    // Close what is open, whatever the dialog's transport buttons say now: the TCP/IP button
    // stays enabled while connected, and closing by the buttons could leave a socket open.
    s.OpenTransport = nullptr;
    transport_.reset();
    if (tcp_->Host != kNoHost) {
        tcp_->Disconnect();
        tcp_->Host = kNoHost;
    }
    if (FtdiHandle) ftdi_.Close(FtdiHandle);
    if (uart_) uart_->Close();
    connected_ = false;
    CleanChartsData();
    EnaDisOnCnctBtn(false);
    view_.Warning(warning_, false);
    sink_.SetStat("Connection closed", StatStyle::Normal);
    view_.PskClean();
    return true;
}

void Engine::DestroyReviveParsing(bool revive) {
    StreamState& s = *state_;
    if (s.TransportState.load() != TERMINATING && transportRunning_) {
        // The pass counter is read after INACTIVE is stored: a pass that starts later reads the
        // state after that store, so one increment means the thread has seen INACTIVE.
        s.TransportState = INACTIVE;
        const uint32_t counter = s.TransportThreadCounter.load();
        const uint32_t start = clock_.Now();
        while (s.TransportThreadCounter.load() == counter &&
               TicksSince(start, clock_.Now()) <= kParkTimeoutMs) {
            s.TransportState = INACTIVE;
            std::this_thread::yield();
        }
    }
    // The parser ends before the ring is cleared under it.
    if (parsing_) parsing_->Terminate();
    parsing_.reset();
    s.Ring.ZeroFill();
    // Recording is the only part of the state that outlives a parked connection.
    s.State.fetch_and(StreamState::FRecord);
    // A new parsing thread starts at buffer 0: nothing undrawn from before is handed over.
    for (auto& b : s.BufState) b.store(StreamState::kBufFree);
    if (revive) parsing_ = std::make_unique<TParsingThread>(*state_, extractor_, events_);
}

void Engine::Reconnect() {
    StreamState& s = *state_;
    WasRecording = IsRecording && IsRecording();
    if (s.TransportState.load() == TERMINATING) return;
    ++reconnects_;
    ConnectButtonClick(true); // disconnect
    s.Counters.InconsistFramesCount = 0;
    s.Ring.ZeroFill();
    s.Ring.ReadIndx = 0;
    ConnectButtonClick(true); // connect
}

void Engine::TryReconnectTCPIP() {
    StreamState& s = *state_;
    if (s.TransportState.load() == TERMINATING) return;
    if (connected_) ConnectButtonClick(true);
    s.TCPIP_Reconnecting = true;
    s.Counters.InconsistFramesCount = 0;
    s.Ring.ZeroFill();
    s.Ring.ReadIndx = 0;
    ++reconnects_;
    ConnectButtonClick(true);
    LastTcpIpReconnTime = clock_.Now();
    if (tcp_->Connected()) s.TCPIP_Reconnecting = false;
}

} // namespace vintrel
