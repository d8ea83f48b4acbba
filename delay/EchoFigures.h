#pragma once
// The echo canceller's figures over a stretch of stream; a figure without enough far-end single
// talk behind it (or a delay not yet known) is empty and shown as "N/A".
#include <optional>

namespace vintrel {

struct EchoFigures {
    std::optional<double> ErlDb;              // echo return loss of the acoustic path
    std::optional<double> ErleDb;             // echo return loss enhancement of the transmit path
    std::optional<double> TerDb;              // ERL + ERLE
    std::optional<double> ResidualEchoDbov;   // TXout's echo level relative to full scale
    std::optional<double> DelayMs;            // median echo delay
    std::optional<double> DelayStdMs;         // its standard deviation
    std::optional<double> DoubleTalkShare;    // double-talk frames / far-end active frames
    std::optional<double> FarSingleTalkShare; // far-end single-talk frames / counted frames
};

} // namespace vintrel
