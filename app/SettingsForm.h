#pragma once
// "Sondrel settings": the connection, the stream format, recorded files, live listening and
// forwarding. No OK or Cancel: the engine reads the controls when it needs a value.
#include "app/AppSettings.h"
#include "app/ConnectSettings.h"
#include "stream/StreamFormat.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace vintrel {

class Engine;

class TSettingsForm : public QWidget {
    Q_OBJECT
public:
    TSettingsForm(Engine& engine, QWidget* parent = nullptr);

    // What connect reads, at the moment it connects.
    ConnectSettings CurrentConnectSettings() const;
    // Shows the values connect corrected (an empty rate, a threshold that is no number).
    void ShowCorrections(const ConnectCorrections& c);
    DataStreamFormat GetSamplingRateFrameDurFromRB() const;

    void LoadFrom(const AppSettings& s);
    void SaveTo(AppSettings& s) const;

    // Control states for connected or disconnected.
    void EnaDisOnCnctBtn(bool connected);
    // "FTDI ports only" and "Upd": rebuilds the port list.
    void FTDICheckBoxClick();
    void USBRadioButtonClick();
    void PopulateIPAddresses();
    void ButtonStartFwdClick();
    // The FTDI library is missing: the box is unchecked and disabled for the whole run.
    void DisableFtdi();
    // Fills the live-listening device list ("None" first, as the listening gives it) and selects
    // `selected` without announcing it; later changes are announced by AudioDeviceChanged.
    void SetAudioDevices(const QStringList& names, int selected);
    // Disabled while a channel plays.
    void EnableAudioDevices(bool enabled);
    QComboBox* AudioDeviceList() const { return OutComboBox; }
    bool RecordingControlsEnabled() const;
    void SetRecordingControlsEnabled(bool enabled);

    // The folder "Recordings folder" shows while the configuration names none.
    void SetDefaultRecordingsFolder(const QString& folder);
    // The folder the records, their raw record and the reports go to.
    QString RecordingsFolder() const;
    QString BaseName() const;
    bool Stamp() const;
    bool DeleteTmp() const;
    bool ExactGaps() const;
    AppSettings::Stereo StereoMode() const;
    bool VerifyChecksum() const;

signals:
    void FormatChanged(DataStreamFormat f);
    void AudioDeviceChanged(int position);

private:
    void FillPortList();
    void ButtonRecordingsClick();
    Engine& engine_;
    QString defaultRecordings_;
    QRadioButton* USBRadioButton;
    QRadioButton* TCPIPRadioButton;
    QComboBox* PortComboBox;
    QPushButton* ButtonUpdPorts;
    QLineEdit* UartRateEdit;
    QLabel* UartRateLabel;
    QCheckBox* FTDICheckBox;
    QLineEdit* IPAddrPortEdit;
    QLineEdit* EditAutoRC;
    QPushButton* ButtonStartFwd;
    QComboBox* ComboBoxBindIP;
    QLineEdit* edtPort;
    QRadioButton* FormatButtons[kFormatCount];
    QCheckBox* CheckBoxCS;
    QCheckBox* BigEndianCheckBox;
    QLineEdit* BaseLabeledEdit;
    QLineEdit* RecordingsEdit;
    QPushButton* ButtonRecordings;
    QCheckBox* StampCheckBox;
    QCheckBox* CheckBoxDeleteTmp;
    QCheckBox* CheckBoxExactGaps;
    QRadioButton* RXinTx1inRB;
    QRadioButton* TX1inTX2inRB;
    QRadioButton* MonoRB;
    QComboBox* OutComboBox;
};

} // namespace vintrel
