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

LiveListening::LiveListening(ListenQueue& queue, MessageSink& sink, ListenMarker* marker)
    : queue_(queue), sink_(sink), marker_(marker), device_(queue) {}

LiveListening::~LiveListening() {
    queue_.Park();
    waveOutStop();
}

void LiveListening::AudioEnum(const std::string& configured) {
    devices_ = QMediaDevices::audioOutputs();
    DeviceNames.clear();
    for (const QAudioDevice& d : devices_) DeviceNames.push_back(d.description().toStdString());
    SelectedDevice = vintrel::AudioEnum(DeviceNames, configured);
}

void LiveListening::Fail(const std::string& text) {
    sink_.SetStat(text, StatStyle::Normal);
}

bool LiveListening::waveOutStart() {
    if (devices_.isEmpty()) devices_ = QMediaDevices::audioOutputs();
    if (SelectedDevice < 0 || SelectedDevice >= devices_.size()) {
        Fail("No audio output device to play on");
        return false;
    }
    const QAudioDevice& dev = devices_[SelectedDevice];
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
    DeviceListEnabled = true;
    queue_.ClearBuffers();
    if (chart == playing) { // a second press on the playing chart ends playback
        if (marker_) marker_->ShowListenMarker(playing, false);
        return;
    }
    if (playing != NOCHART && marker_) marker_->ShowListenMarker(playing, false);
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
    DeviceListEnabled = false; // the list stays locked while a channel plays
    if (!waveOutStart()) {
        DeviceListEnabled = true;
        return;
    }
    queue_.SetListen(chart);
    if (marker_) marker_->ShowListenMarker(chart, true);
}

} // namespace vintrel
