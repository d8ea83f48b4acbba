#include "app/SettingsForm.h"

#include "app/ConfigFile.h"
#include "app/Engine.h"
#include "connection/ForwardServer.h"
#include "connection/IpAddress.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace vintrel {

namespace {
QLabel* Caption(const QString& text, QWidget* parent) {
    return new QLabel(text, parent);
}
// The dialog lists formats in this order.
const DataStreamFormat kFormatOrder[kFormatCount] = {
    DataStreamFormat::Ksps8Ms4,    DataStreamFormat::Ksps8Ms16,  DataStreamFormat::Ksps16Ms2,
    DataStreamFormat::Ksps16Ms4,   DataStreamFormat::Ksps16Ms16, DataStreamFormat::Ksps24Ms1_33,
    DataStreamFormat::Ksps24Ms2_67};
} // namespace

TSettingsForm::TSettingsForm(Engine& engine, QWidget* parent) : QWidget(parent, Qt::Tool), engine_(engine) {
    setWindowTitle("Sondrel settings");
    auto* top = new QVBoxLayout(this);

    auto* connectBox = new QGroupBox("Connect to", this);
    auto* cg = new QGridLayout(connectBox);
    USBRadioButton = new QRadioButton("USB/FTDI", connectBox);
    PortComboBox = new QComboBox(connectBox);
    ButtonUpdPorts = new QPushButton("Upd", connectBox);
    UartRateEdit = new QLineEdit("12000000", connectBox);
    UartRateLabel = Caption("bps", connectBox);
    FTDICheckBox = new QCheckBox("FTDI ports only", connectBox);
    FTDICheckBox->setChecked(true);
    TCPIPRadioButton = new QRadioButton("TCP/IP ", connectBox);
    TCPIPRadioButton->setChecked(true);
    IPAddrPortEdit = new QLineEdit("127.0.0.1:9090", connectBox);
    EditAutoRC = new QLineEdit("3", connectBox);
    EditAutoRC->setToolTip("Set to -1 to disable autoreconnect");
    cg->addWidget(USBRadioButton, 0, 0);
    cg->addWidget(PortComboBox, 0, 1);
    cg->addWidget(ButtonUpdPorts, 0, 2);
    cg->addWidget(UartRateEdit, 1, 1);
    cg->addWidget(UartRateLabel, 1, 2);
    cg->addWidget(FTDICheckBox, 1, 0);
    cg->addWidget(Caption("Listener IP address : port", connectBox), 2, 1);
    cg->addWidget(TCPIPRadioButton, 3, 0);
    cg->addWidget(IPAddrPortEdit, 3, 1, 1, 2);
    cg->addWidget(Caption("Auto reconnect after", connectBox), 4, 0);
    cg->addWidget(EditAutoRC, 4, 1);
    cg->addWidget(Caption("faulty frames", connectBox), 4, 2);
    top->addWidget(connectBox);

    auto* fwdBox = new QGroupBox("Forward data via TCP/IP", this);
    auto* fg = new QGridLayout(fwdBox);
    ButtonStartFwd = new QPushButton("Start", fwdBox);
    ComboBoxBindIP = new QComboBox(fwdBox);
    // Beside the listed local addresses, a host name or an IPv6 address ("::1") may be typed.
    ComboBoxBindIP->setEditable(true);
    ComboBoxBindIP->setInsertPolicy(QComboBox::NoInsert);
    ComboBoxBindIP->addItem(" None");
    edtPort = new QLineEdit(kDefaultForwardPort, fwdBox);
    fg->addWidget(Caption("Bind to IP address", fwdBox), 0, 0);
    fg->addWidget(ComboBoxBindIP, 0, 1);
    fg->addWidget(new QLabel("Port", fwdBox), 1, 0);
    fg->addWidget(edtPort, 1, 1);
    fg->addWidget(ButtonStartFwd, 0, 2, 2, 1);
    top->addWidget(fwdBox);

    auto* formatBox = new QGroupBox(" Data stream format ", this);
    auto* fmt = new QGridLayout(formatBox);
    auto* formatGroup = new QButtonGroup(this);
    for (int i = 0; i < kFormatCount; ++i) {
        FormatButtons[i] = new QRadioButton(FormatCaption(kFormatOrder[i]), formatBox);
        formatGroup->addButton(FormatButtons[i]);
        fmt->addWidget(FormatButtons[i], i / 2, i % 2);
        connect(FormatButtons[i], &QRadioButton::toggled, this, [this](bool on) {
            if (on) emit FormatChanged(GetSamplingRateFrameDurFromRB());
        });
    }
    FormatButtons[0]->setChecked(true);
    CheckBoxCS = new QCheckBox("Verify checksum", formatBox);
    CheckBoxCS->setChecked(true);
    BigEndianCheckBox = new QCheckBox("Big Endian", formatBox);
    fmt->addWidget(CheckBoxCS, 4, 0);
    fmt->addWidget(BigEndianCheckBox, 4, 1);
    top->addWidget(formatBox);

    auto* filesBox = new QGroupBox(" Recorded files ", this);
    auto* fl = new QGridLayout(filesBox);
    RecordingsEdit = new QLineEdit(filesBox);
    ButtonRecordings = new QPushButton("...", filesBox);
    ButtonRecordings->setToolTip("Choose the recordings folder");
    ButtonRecordings->setMaximumWidth(ButtonRecordings->fontMetrics().horizontalAdvance("...") + 16);
    BaseLabeledEdit = new QLineEdit(filesBox);
    StampCheckBox = new QCheckBox("Include time stamp into filename", filesBox);
    StampCheckBox->setChecked(true);
    CheckBoxDeleteTmp = new QCheckBox("Delete raw record after parsing", filesBox);
    CheckBoxDeleteTmp->setChecked(true);
    CheckBoxExactGaps = new QCheckBox("Fill gaps with the missing frames' silence", filesBox);
    CheckBoxExactGaps->setToolTip("Off: a fixed stretch of silence marks every break in the frame numbering");
    RXinTx1inRB = new QRadioButton("Record RXin+TX1in as stereo ", filesBox);
    TX1inTX2inRB = new QRadioButton("Record TX1in+TX2in as stereo", filesBox);
    MonoRB = new QRadioButton("Record mono", filesBox);
    MonoRB->setChecked(true);
    for (QRadioButton* rb : {RXinTx1inRB, TX1inTX2inRB, MonoRB}) rb->setVisible(false);
    fl->addWidget(new QLabel("Recordings folder", filesBox), 0, 0);
    fl->addWidget(RecordingsEdit, 0, 1);
    fl->addWidget(ButtonRecordings, 0, 2);
    fl->addWidget(new QLabel("File name base", filesBox), 1, 0);
    fl->addWidget(BaseLabeledEdit, 1, 1, 1, 2);
    fl->addWidget(StampCheckBox, 2, 0, 1, 3);
    fl->addWidget(CheckBoxDeleteTmp, 3, 0, 1, 3);
    fl->addWidget(CheckBoxExactGaps, 4, 0, 1, 3);
    top->addWidget(filesBox);

    auto* audioBox = new QGroupBox(" Live listening audio device ", this);
    auto* al = new QVBoxLayout(audioBox);
    OutComboBox = new QComboBox(audioBox);
    al->addWidget(OutComboBox);
    top->addWidget(audioBox);
    connect(OutComboBox, &QComboBox::currentIndexChanged, this, &TSettingsForm::AudioDeviceChanged);

    connect(USBRadioButton, &QRadioButton::clicked, this, &TSettingsForm::USBRadioButtonClick);
    connect(TCPIPRadioButton, &QRadioButton::clicked, this, &TSettingsForm::USBRadioButtonClick);
    connect(FTDICheckBox, &QCheckBox::clicked, this, &TSettingsForm::FTDICheckBoxClick);
    connect(ButtonUpdPorts, &QPushButton::clicked, this, &TSettingsForm::FTDICheckBoxClick);
    connect(ButtonStartFwd, &QPushButton::clicked, this, &TSettingsForm::ButtonStartFwdClick);
    connect(ButtonRecordings, &QPushButton::clicked, this, &TSettingsForm::ButtonRecordingsClick);

    PopulateIPAddresses();
    FillPortList();
    setFixedSize(sizeHint());
}

DataStreamFormat TSettingsForm::GetSamplingRateFrameDurFromRB() const {
    for (int i = 0; i < kFormatCount; ++i)
        if (FormatButtons[i]->isChecked()) return kFormatOrder[i];
    return DataStreamFormat::Ksps8Ms4;
}

ConnectSettings TSettingsForm::CurrentConnectSettings() const {
    ConnectSettings cs;
    cs.TransportButton =
        USBRadioButton->isChecked() ? ConnectSettings::Link::Usb : ConnectSettings::Link::TcpIp;
    cs.FtdiPortsOnly = FTDICheckBox->isChecked();
    cs.IPAddrPort = IPAddrPortEdit->text().toStdString();
    cs.PortItem = PortComboBox->currentText().toStdString();
    cs.PortIndex = PortComboBox->currentIndex() < 0 ? 0 : PortComboBox->currentIndex();
    cs.RateText = UartRateEdit->text().toStdString();
    cs.AutoReconnectText = EditAutoRC->text().toStdString();
    cs.BigEndian = BigEndianCheckBox->isChecked();
    cs.VerifyChecksum = CheckBoxCS->isChecked();
    cs.Format = GetSamplingRateFrameDurFromRB();
    return cs;
}

void TSettingsForm::ShowCorrections(const ConnectCorrections& c) {
    if (!c.RateText.empty()) UartRateEdit->setText(QString::fromStdString(c.RateText));
    if (!c.AutoReconnectText.empty()) EditAutoRC->setText(QString::fromStdString(c.AutoReconnectText));
}

void TSettingsForm::FillPortList() {
    PortComboBox->clear();
    for (const std::string& item : engine_.Ports().Items) PortComboBox->addItem(QString::fromStdString(item));
    if (PortComboBox->count() == 0) PortComboBox->addItem(" None");
    PortComboBox->setCurrentIndex(std::max(0, engine_.Ports().Selected));
}

void TSettingsForm::FTDICheckBoxClick() {
    const bool ports = engine_.FTDICheckBoxClick(FTDICheckBox->isChecked());
    FillPortList();
    USBRadioButton->setEnabled(ports);
    PortComboBox->setEnabled(ports);
    if (!ports) TCPIPRadioButton->setChecked(true);
    USBRadioButtonClick();
}

void TSettingsForm::USBRadioButtonClick() {
    PortComboBox->setEnabled(engine_.PortsFound() && !engine_.Connected());
    UartRateEdit->setEnabled(PortComboBox->isEnabled());
    UartRateLabel->setEnabled(PortComboBox->isEnabled());
}

void TSettingsForm::EnaDisOnCnctBtn(bool connected) {
    const bool free = !connected;
    USBRadioButton->setEnabled(free && engine_.PortsFound());
    PortComboBox->setEnabled(free && engine_.PortsFound());
    ButtonUpdPorts->setEnabled(free);
    FTDICheckBox->setEnabled(free && engine_.FtdiLib().FTDIdriverFound);
    UartRateEdit->setEnabled(free);
    UartRateLabel->setEnabled(PortComboBox->isEnabled());
    BigEndianCheckBox->setEnabled(free);
    CheckBoxCS->setEnabled(free);
    for (QRadioButton* b : FormatButtons) b->setEnabled(free);
    IPAddrPortEdit->setEnabled(free);
}

void TSettingsForm::DisableFtdi() {
    FTDICheckBox->setChecked(false);
    FTDICheckBox->setEnabled(false);
}

void TSettingsForm::PopulateIPAddresses() {
    ComboBoxBindIP->clear();
    for (const std::string& a : LocalIPv4Addresses()) ComboBoxBindIP->addItem(QString::fromStdString(a));
    if (ComboBoxBindIP->findText("127.0.0.1") < 0) ComboBoxBindIP->insertItem(0, "127.0.0.1");
    ComboBoxBindIP->setCurrentIndex(ComboBoxBindIP->findText("127.0.0.1"));
}

void TSettingsForm::ButtonStartFwdClick() {
    ForwardServer& fwd = engine_.Forwarding();
    if (ButtonStartFwd->text() == "Start") {
        std::string error;
        if (!fwd.Start(ComboBoxBindIP->currentText().toStdString(), edtPort->text().toStdString(), error)) {
            if (!error.empty()) QMessageBox::critical(this, "Sondrel", QString::fromStdString(error));
            return;
        }
        ComboBoxBindIP->setEnabled(false);
        edtPort->setEnabled(false);
        ButtonStartFwd->setText("Stop");
    } else {
        fwd.Stop();
        ButtonStartFwd->setText("Start");
        ComboBoxBindIP->setEnabled(true);
        edtPort->setEnabled(true);
    }
}

void TSettingsForm::SetAudioDevices(const QStringList& names, int selected) {
    OutComboBox->blockSignals(true);
    OutComboBox->clear();
    OutComboBox->addItems(names);
    OutComboBox->setCurrentIndex(selected);
    OutComboBox->blockSignals(false);
}

void TSettingsForm::EnableAudioDevices(bool enabled) {
    OutComboBox->setEnabled(enabled);
}

bool TSettingsForm::RecordingControlsEnabled() const {
    return BaseLabeledEdit->isEnabled();
}

void TSettingsForm::SetRecordingControlsEnabled(bool enabled) {
    for (QWidget* w : std::initializer_list<QWidget*>{BaseLabeledEdit, StampCheckBox, RXinTx1inRB,
                                                      TX1inTX2inRB, MonoRB, RecordingsEdit, ButtonRecordings})
        w->setEnabled(enabled);
}

void TSettingsForm::SetDefaultRecordingsFolder(const QString& folder) {
    if (RecordingsEdit->text().isEmpty() || RecordingsEdit->text() == defaultRecordings_)
        RecordingsEdit->setText(folder);
    defaultRecordings_ = folder;
}

QString TSettingsForm::RecordingsFolder() const {
    const QString folder = RecordingsEdit->text().trimmed();
    return folder.isEmpty() ? defaultRecordings_ : folder;
}

void TSettingsForm::ButtonRecordingsClick() {
    const QString chosen = QFileDialog::getExistingDirectory(this, "Recordings folder", RecordingsFolder());
    if (!chosen.isEmpty()) RecordingsEdit->setText(chosen);
}

QString TSettingsForm::BaseName() const {
    return BaseLabeledEdit->text().trimmed();
}
bool TSettingsForm::Stamp() const {
    return StampCheckBox->isChecked();
}
bool TSettingsForm::DeleteTmp() const {
    return CheckBoxDeleteTmp->isChecked();
}
bool TSettingsForm::ExactGaps() const {
    return CheckBoxExactGaps->isChecked();
}
bool TSettingsForm::VerifyChecksum() const {
    return CheckBoxCS->isChecked();
}
AppSettings::Stereo TSettingsForm::StereoMode() const {
    if (RXinTx1inRB->isChecked()) return AppSettings::Stereo::RXinTX1in;
    if (TX1inTX2inRB->isChecked()) return AppSettings::Stereo::TX1inTX2in;
    return AppSettings::Stereo::Mono;
}

void TSettingsForm::LoadFrom(const AppSettings& s) {
    BaseLabeledEdit->setText(QString::fromStdString(s.BaseName));
    RecordingsEdit->setText(s.RecordingsFolder.empty() ? defaultRecordings_
                                                       : QString::fromStdString(s.RecordingsFolder));
    StampCheckBox->setChecked(s.Stamp);
    const DataStreamFormat f = [&] {
        AppSettings copy = s;
        return FormatOf(copy);
    }();
    for (int i = 0; i < kFormatCount; ++i) FormatButtons[i]->setChecked(kFormatOrder[i] == f);
    RXinTx1inRB->setChecked(s.StereoMode == AppSettings::Stereo::RXinTX1in);
    TX1inTX2inRB->setChecked(s.StereoMode == AppSettings::Stereo::TX1inTX2in);
    MonoRB->setChecked(s.StereoMode == AppSettings::Stereo::Mono);
    CheckBoxDeleteTmp->setChecked(s.DeleteTmp);
    CheckBoxExactGaps->setChecked(s.ExactGaps);
    (s.TransportKind == AppSettings::Transport::UsbFtdi ? USBRadioButton : TCPIPRadioButton)
        ->setChecked(true);
    IPAddrPortEdit->setText(QString::fromStdString(s.IPAddrPort));
    engine_.PreferComPort(s.ComPortNum);
    FTDICheckBox->setChecked(s.FtdiOnly);
    UartRateEdit->setText(QString::fromStdString(s.UartRate));
    BigEndianCheckBox->setChecked(s.BigEndian);
    CheckBoxCS->setChecked(s.VerifyChecksum);
    EditAutoRC->setText(QString::number(s.AutoReconnect));
}

void TSettingsForm::SaveTo(AppSettings& s) const {
    s.BaseName = BaseName().toStdString();
    // Only a folder of the user's choice is kept, so that the default follows the program.
    s.RecordingsFolder =
        RecordingsFolder() == defaultRecordings_ ? std::string() : RecordingsFolder().toStdString();
    s.Stamp = Stamp();
    SetFormat(s, GetSamplingRateFrameDurFromRB());
    s.StereoMode = StereoMode();
    s.DeleteTmp = DeleteTmp();
    s.ExactGaps = ExactGaps();
    s.TransportKind =
        USBRadioButton->isChecked() ? AppSettings::Transport::UsbFtdi : AppSettings::Transport::TcpIp;
    s.IPAddrPort = IPAddrPortEdit->text().trimmed().toStdString();
    s.PortText = PortComboBox->currentText().trimmed().toStdString();
    s.ComPortNum = engine_.ComPort();
    s.FtdiOnly = FTDICheckBox->isChecked();
    s.UartRate = UartRateEdit->text().trimmed().toStdString();
    s.BigEndian = BigEndianCheckBox->isChecked();
    s.Audio = OutComboBox->currentText().toStdString();
    s.VerifyChecksum = VerifyChecksum();
    bool ok = false;
    const int thresh = EditAutoRC->text().trimmed().toInt(&ok);
    s.AutoReconnect = ok ? thresh : 3;
}

} // namespace vintrel
