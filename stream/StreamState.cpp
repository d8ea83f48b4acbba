#include "stream/StreamState.h"

namespace vintrel {

StreamState::StreamState(MessageSink& sink, const Clock& clock)
    : Sink(sink), Ticks(clock), Parser(clock), Decoder(Tags, Settings, &sink) {
    SetFormat(DataStreamFormat::Ksps8Ms4);
}

void StreamState::SetFormat(DataStreamFormat f) {
    choice_ = f;
    format_ = GetStreamFormat(f);
    Settings.ChannLenWords = format_.ChannLenWords;
}

} // namespace vintrel
