#include "monitor/AudioOutput.h"

#include "monitor/AudioDeviceChoice.h"

#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>

namespace vintrel {

namespace {
// The sink holds about two of the queue's buffers, close to what the queue itself keeps queued.
constexpr qsizetype kSinkBufferBytes = 2 * ListenQueue::kBufferSamples * qsizetype(sizeof(int16_t));
} // namespace

LiveListening::LiveListening(ListenQueue& queue, MessageSink& sink, ListenView* view)
    : queue_(queue), sink_(sink), view_(view), device_(queue) {}

LiveListening::~LiveListening() {
    queue_.Park();
    waveOutStop();
}

int LiveListening::AudioEnum(const std::string& configured) {
    devices_ = QMediaDevices::audioOutputs();
    std::vector<std::string> devices;
    for (const QAudioDevice& d : devices_) devices.push_back(d.description().toStdString());
    names_.assign(1, kNoAudioDevice);
    names_.insert(names_.end(), devices.begin(), devices.end());
    selected_ = 0; // the list's selection follows
    return vintrel::AudioEnum(devices, configured);
}

void LiveListening::SelectDevice(int position) {
    selected_ = position > 0 && position <= devices_.size() ? position : 0;
}

void LiveListening::SetDeviceListEnabled(bool enabled) {
    listEnabled_ = enabled;
    if (view_) view_->EnableDeviceList(enabled);
}

void LiveListening::Fail(const std::string& text) {
    sink_.SetStat(text, StatStyle::Normal);
}

bool LiveListening::waveOutStart() {
    if (selected_ == 0) { // "None"
        Fail("No audio output device to play on");
        return false;
    }
    const QAudioDevice& dev = devices_[selected_ - 1];
    QAudioFormat format;
    format.setSampleRate(queue_.FormatRate.load());
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    if (!dev.isFormatSupported(format)) {
        Fail("The audio device \"" + dev.description().toStdString() + "\" cannot play " +
             std::to_string(format.sampleRate()) + " samples/s");
        return false;
    }
    audio_ = std::make_unique<QAudioSink>(dev, format);
    audio_->setBufferSize(kSinkBufferBytes);
    queue_.Start();
    if (!device_.isOpen()) device_.open(QIODevice::ReadOnly);
    audio_->start(&device_);
    if (audio_->error() != QAudio::NoError || audio_->state() == QAudio::StoppedState) {
        Fail("Cannot open the audio device \"" + dev.description().toStdString() + "\"");
        audio_.reset();
        device_.close();
        return false;
    }
    return true;
}

void LiveListening::waveOutStop() {
    if (audio_) {
        audio_->stop();
        audio_.reset();
    }
    if (device_.isOpen()) device_.close();
}

void LiveListening::ChangeAudio(TChart chart, int samplingRate) {
    const TChart playing = queue_.Listen();
    queue_.Park(); // Listen = NOCHART, the parsing thread out of the queue
    waveOutStop();
    SetDeviceListEnabled(true);
    queue_.ClearBuffers();
    if (chart == playing) { // a second press on the playing chart ends playback
        if (view_) view_->ShowListenMarker(playing, false);
        return;
    }
    if (playing != NOCHART && view_) view_->ShowListenMarker(playing, false);
    queue_.FormatRate = samplingRate;
    StartPlaying(chart);
}

void LiveListening::RestoreAudio(TChart chart) {
    queue_.Park();
    waveOutStop();
    queue_.ClearBuffers();
    StartPlaying(chart);
}

void LiveListening::StartPlaying(TChart chart) {
    SetDeviceListEnabled(false); // the list stays locked while a channel plays
    if (!waveOutStart()) {
        SetDeviceListEnabled(true);
        return;
    }
    queue_.SetListen(chart);
    if (view_) view_->ShowListenMarker(chart, true);
}

} // namespace vintrel
