#include <QtTest>

#include "FileBytes.h"

#include "ConfigPanelFixture.h"
#include "protocol/ConfigurationConfirmer.h"
#include "protocol/FeedbackRecord.h"
#include "protocol/LevelMonitor.h"
#include "ui/PropertiesPanel.h"

using namespace nms;
using namespace nms::test;

namespace {

const QString kSuccess = "New configuration has been sucessfuly saved and loaded!";

QString mismatchText(const QString& field)
{
    return "An error occured while saving '" + field + "':\rFeedback is corrupted.";
}

// The confirmer with the attenuation handling live, so that a value taken
// from the element into scrlAtten is seen to send nothing.
struct ConfirmerFixture : ConfigPanelFixture {
    LevelMonitor levels{dialogs,   ini,       path,           udp,
                        panelView, meterView, monitoringView, *ui.tmrVolume};
    LevelControls levelControls{ui, levels};
    ConfigurationConfirmer confirmer{dialogs, ini, path, panelView};
};

// The answer of an element that took the panel of selectElement().
FeedbackRecord matchingAnswer(quint8 role)
{
    FeedbackRecord r;
    r.mac = ConfigPanelFixture::kMac;
    r.ip = "198.18.0.20";
    r.mask = "255.255.0.0";
    r.gw = "198.18.0.1";
    r.remote = "198.18.0.30";
    r.name = "STUDIO A        ";
    r.role = role;
    r.sn = 1234;
    r.ver = double(3.4f);
    r.length = role == 2 ? 48 : 44;
    r.hasSfn = r.hasBuf = true;
    if (role == 2) {
        r.att = 255;
        r.sdm = 0;
        r.sdl = 37;
        r.sdt = 43;
        r.buf = 1;
        r.hasAtt = r.hasSdm = r.hasSdl = r.hasSdt = true;
    }
    return r;
}

// The panel of a selected encoder as the operator edited and sent it.
void editEncoderPanel(FrmMainControls& ui)
{
    ui.txtElementName->setText("studio b  ");
    ui.txtElementIP->setText("198.18.0.21");
    ui.txtElementMask->setText("255.255.255.0");
    ui.txtElementGW->setText("198.18.0.2");
    ui.txtRemoteIP->setText("198.18.0.31");
    ui.cmbAudioInput->setCurrentIndex(1);
    ui.cmbAudioType->setCurrentIndex(1);
    ui.cmbAudioTX->setCurrentIndex(1);
}

FeedbackRecord editedEncoderAnswer()
{
    FeedbackRecord r = matchingAnswer(1);
    r.name = "STUDIO B        ";
    r.ip = "198.18.0.21";
    r.mask = "255.255.255.0";
    r.gw = "198.18.0.2";
    r.remote = "198.18.0.31";
    r.input = r.type = r.tx = 1;
    r.sn = 5678;
    r.ver = double(3.5f);
    r.sfn = 1;
    r.buf = 2;
    return r;
}

QByteArray editedEncoderRecord()
{
    return "[001A2B3C4D5E]\n"
           "NAME=STUDIO B        \n"
           "IP=198.18.0.21\n"
           "MASK=255.255.255.0\n"
           "GW=198.18.0.2\n"
           "REMOTE=198.18.0.31\n"
           "INPUT=1\n"
           "TYPE=1\n"
           "TX=1\n"
           "ROLE=1\n"
           "SN=5678\n"
           "VER=3.5\n"
           "SFN=1\n"
           "BUF=2\n";
}

} // namespace

class ConfigurationConfirmerTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void everythingMatches()
    {
        ConfirmerFixture f;
        f.writeIni(ConfigPanelFixture::encoderRecord());
        f.selectElement("ENCODER");
        editEncoderPanel(f.ui);
        f.confirmer.ConfirmConfiguration(editedEncoderAnswer());

        QCOMPARE(f.dialogs.boxes.size(), 1);
        const MessageBoxRequest& box = f.dialogs.last();
        QCOMPARE(box.icon, BoxIcon::Information);
        QCOMPARE(box.title, QString("Configuration changed"));
        QCOMPARE(box.buttons, BoxButtons::Ok);
        QCOMPARE(box.text(), kSuccess);
        QCOMPARE(QString::fromLatin1(f.iniBytes()), QString::fromLatin1(editedEncoderRecord()));
        QCOMPARE(f.ui.lblElementType->caption(), QString("ENCODER"));
        QCOMPARE(f.ui.lblSerialNumber->caption(), QString("5678"));
        QCOMPARE(f.ui.lblVersion->caption(), QString("3.5"));
        // The compared fields stay as the operator typed them.
        QCOMPARE(f.ui.txtElementName->text(), QString("studio b  "));
    }

    // Values that did not reach the file were not saved: the operator is
    // told so, and no success box says otherwise.
    void failedWriteIsReportedInsteadOfSuccess()
    {
        ConfirmerFixture f;
        f.writeIni(ConfigPanelFixture::encoderRecord());
        f.selectElement("ENCODER");
        editEncoderPanel(f.ui);
        const QString directory = QFileInfo(f.iniPath()).absolutePath();
        if (!makeDirectoryUnwritable(directory, true))
            QSKIP("this file system cannot make a directory refuse writes");
        f.confirmer.ConfirmConfiguration(editedEncoderAnswer());
        makeDirectoryUnwritable(directory, false);

        QCOMPARE(f.dialogs.texts(),
                 QStringList({"An error occured while saving this element info to the local "
                              "database.\rCannot save this element info."}));
        QCOMPARE(f.dialogs.last().icon, BoxIcon::Critical);
        QCOMPARE(f.dialogs.last().title, QString("Orbelund Veltrino Manager"));
        QCOMPARE(f.iniBytes(), ConfigPanelFixture::encoderRecord());
    }

    void oneMismatchKeepsItsStoredValue_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("box");
        QTest::newRow("name") << "name"
                              << "NAME"
                              << "Element Name";
        QTest::newRow("ip") << "ip"
                            << "IP"
                            << "Element IP";
        QTest::newRow("mask") << "mask"
                              << "MASK"
                              << "Element Mask";
        QTest::newRow("gw") << "gw"
                            << "GW"
                            << "Element GW";
        QTest::newRow("remote") << "remote"
                                << "REMOTE"
                                << "Remote IP";
        QTest::newRow("input") << "input"
                               << "INPUT"
                               << "Audio Input";
        QTest::newRow("type") << "type"
                              << "TYPE"
                              << "Audio Type";
        QTest::newRow("tx") << "tx"
                            << "TX"
                            << "Audio TX";
    }
    void oneMismatchKeepsItsStoredValue()
    {
        QFETCH(QString, field);
        QFETCH(QString, key);
        QFETCH(QString, box);
        ConfirmerFixture f;
        f.writeIni(ConfigPanelFixture::encoderRecord());
        f.selectElement("ENCODER");
        editEncoderPanel(f.ui);
        FeedbackRecord answer = editedEncoderAnswer();
        if (field == "name")
            answer.name = "STUDIO C        ";
        else if (field == "ip")
            answer.ip = "198.18.0.99";
        else if (field == "mask")
            answer.mask = "255.0.0.0";
        else if (field == "gw")
            answer.gw = "198.18.0.254";
        else if (field == "remote")
            answer.remote = "198.18.0.98";
        else if (field == "input")
            answer.input = 0;
        else if (field == "type")
            answer.type = 0;
        else if (field == "tx")
            answer.tx = 0;

        f.confirmer.ConfirmConfiguration(answer);

        QCOMPARE(f.dialogs.texts(), QStringList{mismatchText(box)});
        QCOMPARE(f.dialogs.last().icon, BoxIcon::Critical);
        QCOMPARE(f.dialogs.last().title, kApplicationTitle);
        // Every other line as confirmed; the mismatching key as before.
        QByteArray expected = editedEncoderRecord();
        const QByteArray oldLine = key.toLatin1() + "=";
        const auto lineOf = [&](const QByteArray& record) {
            const qsizetype start = record.indexOf("\n" + oldLine) + 1;
            return record.mid(start, record.indexOf('\n', start) - start + 1);
        };
        expected.replace(lineOf(expected), lineOf(ConfigPanelFixture::encoderRecord()));
        QCOMPARE(QString::fromLatin1(f.iniBytes()), QString::fromLatin1(expected));
    }

    void mismatchesAreReportedInTableOrder()
    {
        ConfirmerFixture f;
        f.writeIni(ConfigPanelFixture::encoderRecord());
        f.selectElement("ENCODER");
        f.ui.cmbAudioTX->setCurrentIndex(-1); // no selection never matches
        FeedbackRecord answer = matchingAnswer(1);
        answer.name = "OTHER";
        answer.gw = "198.18.0.254";
        f.confirmer.ConfirmConfiguration(answer);
        QCOMPARE(f.dialogs.texts(),
                 QStringList({mismatchText("Element Name"), mismatchText("Element GW"),
                              mismatchText("Audio TX")}));
        QCOMPARE(f.stored("tx"), QString("0"));
    }

    void matchingRules_data()
    {
        QTest::addColumn<QString>("panelName");
        QTest::addColumn<QString>("panelIp");
        QTest::addColumn<QString>("reportedName");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QString>("storedName");
        QTest::newRow("lower case with trailing blanks matches, stored padded")
            << "studio a   "
            << "198.18.0.20"
            << "STUDIO A        " << QStringList{kSuccess} << "STUDIO A        ";
        QTest::newRow("leading blanks ignored")
            << "  Studio A"
            << "198.18.0.20"
            << "STUDIO A        " << QStringList{kSuccess} << "  STUDIO A      ";
        QTest::newRow("a tab in the reported name is not a blank")
            << "studio a"
            << "198.18.0.20"
            << "STUDIO A\t       " << QStringList{mismatchText("Element Name")}
            << "STUDIO A        ";
        QTest::newRow("leading zeros in the address do not match")
            << "STUDIO A"
            << "198.018.000.020"
            << "STUDIO A        " << QStringList{mismatchText("Element IP")} << "STUDIO A        ";
    }
    void matchingRules()
    {
        QFETCH(QString, panelName);
        QFETCH(QString, panelIp);
        QFETCH(QString, reportedName);
        QFETCH(QStringList, boxes);
        QFETCH(QString, storedName);
        ConfirmerFixture f;
        f.writeIni(ConfigPanelFixture::encoderRecord());
        f.selectElement("ENCODER");
        f.ui.txtElementName->setText(panelName);
        f.ui.txtElementIP->setText(panelIp);
        FeedbackRecord answer = matchingAnswer(1);
        answer.name = reportedName;
        f.confirmer.ConfirmConfiguration(answer);
        QCOMPARE(f.dialogs.texts(), boxes);
        QVERIFY(f.iniBytes().contains("NAME=" + storedName.toLatin1() + "\n"));
        QCOMPARE(f.stored("ip"), QString("198.18.0.20"));
    }

    void refusedAnswers_data()
    {
        QTest::addColumn<QString>("panelMac");
        QTest::addColumn<QString>("answerMac");
        QTest::addColumn<int>("extraKeys");
        QTest::addColumn<QString>("firstLine");
        QTest::newRow("no element selected")
            << "-" << ConfigPanelFixture::kMac << 0
            << "The response received does not match the selected element.";
        QTest::newRow("another element")
            << ConfigPanelFixture::kMac << "00:1A:2B:3C:4D:5F" << 0
            << "The response received does not match the selected element.";
        QTest::newRow("case counts")
            << "00:1a:2b:3c:4d:5e" << ConfigPanelFixture::kMac << 0
            << "The response received does not match the selected element.";
        QTest::newRow("eighteen keys")
            << ConfigPanelFixture::kMac << ConfigPanelFixture::kMac << 1
            << "The data stored in your computer about this element, is corrupted.";
        QTest::newRow("twenty keys")
            << ConfigPanelFixture::kMac << ConfigPanelFixture::kMac << 3
            << "The data stored in your computer about this element, is corrupted.";
    }
    void refusedAnswers()
    {
        QFETCH(QString, panelMac);
        QFETCH(QString, answerMac);
        QFETCH(int, extraKeys);
        QFETCH(QString, firstLine);
        ConfirmerFixture f;
        QByteArray record = ConfigPanelFixture::decoderRecord();
        for (int i = 0; i < extraKeys; ++i)
            record += "EXTRA" + QByteArray::number(i) + "=1\n";
        f.writeIni(record);
        f.selectElement("DECODER");
        f.ui.lblElementMAC->setCaption(panelMac);
        f.ui.scrlAtten->setValue(100);
        FeedbackRecord answer = matchingAnswer(2);
        answer.mac = answerMac;
        answer.role = 1;
        answer.att = 20;

        f.confirmer.ConfirmConfiguration(answer);

        QCOMPARE(f.dialogs.boxes.size(), 1);
        QCOMPARE(f.dialogs.last().icon, BoxIcon::Critical);
        QCOMPARE(f.dialogs.last().title, kApplicationTitle);
        QCOMPARE(f.dialogs.last().text(), firstLine + "\rCannot save this element info.");
        QCOMPARE(f.iniBytes(), record);
        QCOMPARE(f.ui.lblElementType->caption(), QString("DECODER"));
        QCOMPARE(f.ui.scrlAtten->value(), 100);
    }

    void seventeenKeysAreConfirmed()
    {
        ConfirmerFixture f;
        f.writeIni(ConfigPanelFixture::decoderRecord());
        f.selectElement("DECODER");
        f.confirmer.ConfirmConfiguration(matchingAnswer(2));
        QCOMPARE(f.dialogs.texts(), QStringList{kSuccess});
    }

    void roleZeroIsNeverASuccess()
    {
        ConfirmerFixture f;
        f.writeIni(ConfigPanelFixture::encoderRecord());
        f.selectElement("ENCODER");
        f.confirmer.ConfirmConfiguration(matchingAnswer(0));
        QVERIFY(f.dialogs.boxes.isEmpty());
        QCOMPARE(f.ui.lblElementType->caption(), QString("UNKNOWN"));
        QCOMPARE(f.stored("role"), QString("0"));
        QCOMPARE(f.stored("name"), QString("STUDIO A"));
    }

    void roleCaptionIsSetEvenWhenUnchanged()
    {
        ConfirmerFixture f;
        f.writeIni(ConfigPanelFixture::encoderRecord());
        f.selectElement("ENCODER");
        QSignalSpy captions(f.ui.lblElementType, &CaptionLabel::captionSet);
        f.confirmer.ConfirmConfiguration(matchingAnswer(1));
        QCOMPARE(captions.count(), 1);
        QCOMPARE(captions[0][0].toString(), QString("ENCODER"));
    }

    void versionCaptionAndStoredForm_data()
    {
        QTest::addColumn<float>("version");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("stored");
        QTest::newRow("3.4") << 3.4f << "3.4"
                             << "3.4";
        QTest::newRow("2.0") << 2.0f << "2.0"
                             << "2";
        QTest::newRow("11.2") << 11.2f << "11.2"
                              << "11.2";
        QTest::newRow("0.1") << 0.1f << "0.1"
                             << "0.1";
        QTest::newRow("largest") << 3276.7f << "3276.7"
                                 << "3276.7";
    }
    void versionCaptionAndStoredForm()
    {
        QFETCH(float, version);
        QFETCH(QString, caption);
        QFETCH(QString, stored);
        ConfirmerFixture f;
        f.writeIni(ConfigPanelFixture::encoderRecord());
        f.selectElement("ENCODER");
        FeedbackRecord answer = matchingAnswer(1);
        answer.ver = double(version);
        f.confirmer.ConfirmConfiguration(answer);
        QCOMPARE(f.ui.lblVersion->caption(), caption);
        QCOMPARE(f.stored("ver"), stored);
    }

    void decoderValuesAreRaisedAndClamped()
    {
        ConfirmerFixture f;
        f.writeIni(ConfigPanelFixture::decoderRecord());
        f.selectElement("DECODER");
        FeedbackRecord answer = matchingAnswer(2);
        answer.att = 0;
        answer.sdm = 2;
        answer.sdl = 200;
        answer.sdt = 0;
        answer.sfn = 1;
        answer.buf = 6;

        f.confirmer.ConfirmConfiguration(answer);

        QCOMPARE(f.dialogs.texts(), QStringList{kSuccess});
        QCOMPARE(f.ui.scrlAtten->value(), 14);
        QCOMPARE(f.ui.lblAttenDB->text(), QString("Mute"));
        QCOMPARE(f.ui.cmbSilDetMode->currentIndex(), 2);
        QCOMPARE(f.ui.scrlSilDetLevel->value(), 154);
        QCOMPARE(f.ui.scrlSilDetTime->value(), 1);
        QByteArray expected = ConfigPanelFixture::decoderRecord();
        expected.replace("SFN=0", "SFN=1")
            .replace("BUF=1", "BUF=6")
            .replace("ATT=255", "ATT=14")
            .replace("SDM=0", "SDM=2")
            .replace("SDL=37", "SDL=154")
            .replace("SDT=43", "SDT=1");
        QCOMPARE(QString::fromLatin1(f.iniBytes()), QString::fromLatin1(expected));
        // Taken from the element, not moved by the operator: nothing sent.
        QVERIFY(f.socket.sent.isEmpty());
    }

    // A mode set by the confirmation runs the detector's rule even when it
    // is the mode shown; the decoder's caption, set just before, has laid
    // the panel out and enabled the detector's settings.
    void confirmedSilenceModeRunsItsRule_data()
    {
        QTest::addColumn<int>("shown");
        QTest::addColumn<int>("confirmed");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("force internal, unchanged") << 1 << 1 << false;
        QTest::newRow("force external, unchanged") << 2 << 2 << false;
        QTest::newRow("auto detect, unchanged") << 0 << 0 << true;
        QTest::newRow("auto detect to force internal") << 0 << 1 << false;
        QTest::newRow("force external to auto detect") << 2 << 0 << true;
    }
    void confirmedSilenceModeRunsItsRule()
    {
        QFETCH(int, shown);
        QFETCH(int, confirmed);
        QFETCH(bool, enabled);
        ConfirmerFixture f;
        PropertiesPanel panel(f.ui);
        f.panelView.setPropertiesPanel(&panel);
        f.writeIni(ConfigPanelFixture::decoderRecord());
        f.selectElement("DECODER");
        panel.SetListIndex(f.ui.cmbSilDetMode, shown);
        FeedbackRecord answer = matchingAnswer(2);
        answer.sdm = quint8(confirmed);

        f.confirmer.ConfirmConfiguration(answer);

        QCOMPARE(f.dialogs.texts(), QStringList{kSuccess});
        QCOMPARE(f.ui.cmbSilDetMode->currentIndex(), confirmed);
        for (QWidget* w : std::initializer_list<QWidget*>{f.ui.scrlSilDetLevel, f.ui.scrlSilDetTime,
                                                          f.ui.lblSilDetLevel, f.ui.lblSilDetTime,
                                                          f.ui.Label24, f.ui.Label26})
            QCOMPARE(w->isEnabled(), enabled);
    }

    void unknownSilenceModeKeepsTheSelection()
    {
        ConfirmerFixture f;
        f.writeIni(ConfigPanelFixture::decoderRecord());
        f.selectElement("DECODER");
        f.ui.cmbSilDetMode->setCurrentIndex(1);
        FeedbackRecord answer = matchingAnswer(2);
        answer.sdm = 7;
        f.confirmer.ConfirmConfiguration(answer);
        QCOMPARE(f.ui.cmbSilDetMode->currentIndex(), 1);
        QCOMPARE(f.stored("sdm"), QString("7"));
    }

    void shortDecoderAnswerLeavesMissingValuesAlone()
    {
        ConfirmerFixture f;
        f.writeIni(ConfigPanelFixture::decoderRecord().replace("SDL=37", "SDL=50"));
        f.selectElement("DECODER");
        f.ui.cmbSilDetMode->setCurrentIndex(1);
        f.ui.scrlSilDetLevel->setValue(60);
        f.ui.scrlSilDetTime->setValue(70);
        FeedbackRecord answer = matchingAnswer(2);
        answer.length = 46;
        answer.sdm = 2;
        answer.hasSdl = answer.hasSdt = false;
        answer.att = 100;
        f.confirmer.ConfirmConfiguration(answer);
        QCOMPARE(f.ui.cmbSilDetMode->currentIndex(), 2);
        QCOMPARE(f.ui.scrlSilDetLevel->value(), 60);
        QCOMPARE(f.ui.scrlSilDetTime->value(), 70);
        QCOMPARE(f.stored("att"), QString("100"));
        QCOMPARE(f.stored("sdm"), QString("2"));
        QCOMPARE(f.stored("sdl"), QString("50"));
        QCOMPARE(f.stored("sdt"), QString("43"));
    }

    void encoderAnswerLeavesDecoderControlsAlone()
    {
        ConfirmerFixture f;
        f.writeIni(ConfigPanelFixture::encoderRecord());
        f.selectElement("ENCODER");
        f.ui.scrlAtten->setValue(100);
        f.ui.cmbSilDetMode->setCurrentIndex(1);
        f.ui.scrlSilDetLevel->setValue(60);
        f.ui.scrlSilDetTime->setValue(70);
        FeedbackRecord answer = matchingAnswer(1);
        answer.att = 20;
        answer.sdl = 5;
        f.confirmer.ConfirmConfiguration(answer);
        QCOMPARE(f.ui.scrlAtten->value(), 100);
        QCOMPARE(f.ui.cmbSilDetMode->currentIndex(), 1);
        QCOMPARE(f.ui.scrlSilDetLevel->value(), 60);
        QCOMPARE(f.ui.scrlSilDetTime->value(), 70);
        for (const char* key : {"ATT=", "SDM=", "SDL=", "SDT="})
            QVERIFY(!f.iniBytes().contains(key));
    }

    void missingSectionIsWrittenInRecordOrder()
    {
        ConfirmerFixture f;
        f.writeIni("");
        f.selectElement("DECODER");
        f.confirmer.ConfirmConfiguration(matchingAnswer(2));
        QCOMPARE(f.dialogs.texts(), QStringList{kSuccess});
        QCOMPARE(f.ini.LoadIniSectionsArray(f.iniPath()), QStringList{"001A2B3C4D5E"});
        QStringList keys;
        f.ini.LoadIniSectionKeysLB("001A2B3C4D5E", keys, f.iniPath());
        QCOMPARE(keys,
                 QStringList({"NAME", "IP", "MASK", "GW", "REMOTE", "INPUT", "TYPE", "TX", "ROLE",
                              "SN", "VER", "SFN", "BUF", "ATT", "SDM", "SDL", "SDT"}));
    }

    void decoderAnswerSwitchesTheLayoutAndStopsMonitoring()
    {
        ConfirmerFixture f;
        PropertiesPanel panel(f.ui);
        f.writeIni(ConfigPanelFixture::decoderRecord());
        f.selectElement("ENCODER");
        f.ui.chkGetVolume->setChecked(true);
        f.ui.lblVolume->setText("-6dBFS");
        FeedbackRecord answer = matchingAnswer(2);
        answer.att = 200;

        f.confirmer.ConfirmConfiguration(answer);

        QCOMPARE(f.ui.lblElementType->caption(), QString("DECODER"));
        QVERIFY(!f.ui.scrlAtten->isHidden());
        QVERIFY(!f.ui.chkGetVolume->isChecked());
        QVERIFY(!f.volumeTimer()->isEnabled());
        QCOMPARE(f.ui.lblVolume->text(), QString("-oodBFS"));
        QCOMPARE(f.ui.scrlAtten->value(), 200);
        QCOMPARE(f.ui.lblAttenDB->text(), QString("-27.5 dB"));
        QVERIFY(f.socket.sent.isEmpty());
        QCOMPARE(f.dialogs.texts(), QStringList{kSuccess});
    }

    void responseTimerIsNotTouched()
    {
        // The feedback decoding ends the wait before it hands the answer on.
        ConfirmerFixture f;
        f.writeIni(ConfigPanelFixture::encoderRecord());
        f.selectElement("ENCODER");
        f.responseTimer()->setEnabled(true);
        const int restarts = f.responseTimer()->restarts();
        f.confirmer.ConfirmConfiguration(matchingAnswer(1));
        QVERIFY(f.responseTimer()->isEnabled());
        QCOMPARE(f.responseTimer()->restarts(), restarts);
    }
};

QTEST_MAIN(ConfigurationConfirmerTest)
#include "tst_ConfigurationConfirmer.moc"
