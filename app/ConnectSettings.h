#pragma once
// What connection management reads from the settings dialog at the moment of connecting.
#include "stream/StreamFormat.h"

#include <string>

namespace vintrel {

struct ConnectSettings {
    enum class Link { TcpIp, Usb };
    Link TransportButton = Link::TcpIp; // the TCP/IP and USB/FTDI radio buttons
    bool FtdiPortsOnly = false;         // "FTDI ports only": the USB/FTDI button means an FTDI adapter
    std::string IPAddrPort = "127.0.0.1:9090";
    std::string PortItem; // the port list's selected item (a device path, or " COMn" for FTDI)
    int PortIndex = 0;    // its index in the list; 0 is " None"
    std::string RateText = "12000000";
    std::string AutoReconnectText = "3";
    bool BigEndian = false;
    bool VerifyChecksum = true;
    DataStreamFormat Format = DataStreamFormat::Ksps8Ms4;
};

// Values connect corrected in the dialog's edits (an empty rate becomes "12000000" ...).
struct ConnectCorrections {
    std::string RateText;
    std::string AutoReconnectText;
};

} // namespace vintrel
