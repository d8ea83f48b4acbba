#pragma once
// Every setting the configuration file keeps, with the controls' initial states as defaults.
// The windows copy their controls into it before writing and from it after reading.
#include <string>

namespace vintrel {

struct AppSettings {
    enum class Stereo { RXinTX1in, TX1inTX2in, Mono };
    enum class Transport { UsbFtdi, TcpIp, Simulator };

    std::string BaseName; // "File name base"
    bool Stamp = true;    // "Include time stamp into filename"
    // "Recordings folder"; empty (a file without the key): the program's default folder.
    std::string RecordingsFolder;
    unsigned SamplingRateFromSettings = 8000;
    float MsPerFrame = 4.0f;
    Stereo StereoMode = Stereo::Mono;
    bool DeleteTmp = true;  // "Delete raw record after parsing"
    bool ExactGaps = false; // "Fill gaps with the missing frames' silence"; a file without the key: no
    bool ShowFiles = true;  // "Open dialog with recorded files"; a file without the key: checked
    Transport TransportKind = Transport::TcpIp;
    std::string IPAddrPort = "127.0.0.1:9090";
    std::string PortText = " None"; // the port list's text
    unsigned ComPortNum = 0;
    // "FTDI ports only". The window presets it to whether the D2XX library loaded before reading,
    // so a file without the line leaves it checked exactly when the library is there.
    bool FtdiOnly = true;
    std::string UartRate = "12000000";
    bool BigEndian = false;
    // The live-listening device (lower case once read); empty when the file has none: the first
    // device then plays. "None" plays nothing.
    std::string Audio;
    int Rate = 4;           // diagram rate 1..7
    bool VadMode = false;   // false: "ND" is selected
    int VoiceThrItem = 10;  // item of "VAD threshold", 0.00 .. 1.00 in steps of 0.05
    bool PaintVoice = true; // "Paint voiced frames"
    bool PlotNoise = false; // "Plot noise level"
    int FftLength = 256;
    bool VerifyChecksum = true;
    int AutoReconnect = 3;     // InconsistFramesThresh
    bool Lock = false;         // "lck"
    std::string SelectedNames; // the five chart selections, blank-separated
};

} // namespace vintrel
