#pragma once
// Live listening's sound output: Qt Multimedia's QAudioSink pulls from the listening queue through a
// QIODevice whose reads advance the queue's Tail. Opening, switching and stopping follow the "Play"
// buttons: one channel at a time, a second press on the playing chart stops it. When no device can be
// opened, or "None" is selected, the status line says so.
//
// Threads: window thread (everything here). The sink pulls on the thread it was created on (or on
// Qt's audio thread); a pull only reads queued buffers and advances Tail. The parsing thread feeds
// the queue (ListenQueue).
#include "monitor/AudioDeviceChoice.h"
#include "monitor/ListenQueue.h"
#include "monitor/ListenView.h"
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
    // view: where the listened chart and the device list's state are shown (none: not shown).
    LiveListening(ListenQueue& queue, MessageSink& sink, ListenView* view = nullptr);
    ~LiveListening();
    LiveListening(const LiveListening&) = delete;
    LiveListening& operator=(const LiveListening&) = delete;

    // The settings dialog's " Live listening audio device " list: "None", then the names of all
    // output devices in order. Returns the entry to select at start-up for the configured device
    // text (AudioDeviceChoice); the selection itself comes back through SelectDevice.
    int AudioEnum(const std::string& configured);
    const std::vector<std::string>& DeviceNames() const { return names_; }
    // The list's selection, the device the next Play opens; the list's own change is the only
    // caller. A position outside the list selects "None".
    void SelectDevice(int position);
    int SelectedDevice() const { return selected_; }
    // The list is disabled while a channel plays.
    bool DeviceListEnabled() const { return listEnabled_; }

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
    void SetDeviceListEnabled(bool enabled);
    // Opens the device and feeds `chart`; on failure the device list is enabled again.
    void StartPlaying(TChart chart);

    ListenQueue& queue_;
    MessageSink& sink_;
    ListenView* view_;
    ListenQueueDevice device_;
    std::unique_ptr<QAudioSink> audio_;
    QList<QAudioDevice> devices_; // entry i is list position i + 1
    std::vector<std::string> names_{kNoAudioDevice};
    int selected_ = 0;
    bool listEnabled_ = true;
};

} // namespace vintrel
