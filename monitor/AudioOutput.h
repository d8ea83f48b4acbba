#pragma once
// Live listening's sound output: Qt Multimedia's QAudioSink pulls from the listening queue through a
// QIODevice whose reads advance the queue's Tail. Opening, switching and stopping follow the "Play"
// buttons: one channel at a time, a second press on the playing chart stops it. When no device can be
// opened the status line says so.
//
// Threads: window thread (everything here). The sink pulls on the thread it was created on (or on
// Qt's audio thread); a pull only reads queued buffers and advances Tail. The parsing thread feeds
// the queue (ListenQueue).
#include "monitor/ListenMarker.h"
#include "monitor/ListenQueue.h"
#include "stream/MessageSink.h"

#include <QAudioDevice>
#include <QIODevice>
#include <QList>
#include <memory>
#include <string>
#include <vector>

class QAudioSink;

namespace vintrel {

// The queue as a sequential read-only device for the sink's pull.
class ListenQueueDevice : public QIODevice {
    Q_OBJECT
public:
    explicit ListenQueueDevice(ListenQueue& queue, QObject* parent = nullptr)
        : QIODevice(parent), queue_(queue) {}
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return queue_.BytesQueued() + QIODevice::bytesAvailable(); }

protected:
    qint64 readData(char* data, qint64 maxSize) override { return queue_.Read(data, maxSize); }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    ListenQueue& queue_;
};

class LiveListening {
public:
    // marker: where the listened chart is shown (none: not shown).
    LiveListening(ListenQueue& queue, MessageSink& sink, ListenMarker* marker = nullptr);
    ~LiveListening();
    LiveListening(const LiveListening&) = delete;
    LiveListening& operator=(const LiveListening&) = delete;

    // The settings dialog's " Live listening audio device " list: the names of all output devices in
    // order; selects the last whose lower-cased name contains `configured`, else entry 0.
    void AudioEnum(const std::string& configured);
    std::vector<std::string> DeviceNames;
    int SelectedDevice = 0;
    bool DeviceListEnabled = true; // the list is disabled while a channel plays

    // A "Play" button (chart 1..5) at the stream's sampling rate: switches playback to that chart, or
    // stops it when the chart is the one playing.
    void ChangeAudio(TChart chart, int samplingRate);
    // After an automatic reconnection: plays the chart again at the rate last used.
    void RestoreAudio(TChart chart);
    // Opens the selected device at the queue's format rate, queues the silent lead-in and starts the
    // pull; false (and a status-line message) when no device could be opened.
    bool waveOutStart();
    // Stops the sink, dropping what it holds, and closes the device.
    void waveOutStop();

    TChart Listen() const { return queue_.Listen(); }
    QAudioSink* Sink() const { return audio_.get(); }

private:
    void Fail(const std::string& text);
    // Opens the device and feeds `chart`; on failure the device list is enabled again.
    void StartPlaying(TChart chart);

    ListenQueue& queue_;
    MessageSink& sink_;
    ListenMarker* marker_;
    ListenQueueDevice device_;
    std::unique_ptr<QAudioSink> audio_;
    QList<QAudioDevice> devices_;
};

} // namespace vintrel
