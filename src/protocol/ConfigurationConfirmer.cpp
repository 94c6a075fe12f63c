#include "protocol/ConfigurationConfirmer.h"

#include <algorithm>
#include <cmath>

#include <QComboBox>
#include <QLineEdit>
#include <QScrollBar>

#include "app/NmsContext.h"
#include "db/IniRoutines.h"
#include "db/TextHelpers.h"
#include "platform/Dialogs.h"
#include "protocol/FeedbackRecord.h"
#include "ui/CaptionLabel.h"
#include "ui/FrmMainControls.h"
#include "ui/PropertiesPanel.h"

namespace nms {
namespace {

constexpr quint8 kEncoderRole = 1;
constexpr quint8 kDecoderRole = 2;

// Only blanks are dropped from the ends; other characters an element puts
// into its name (tabs, NULs) are part of it.
QString trimBlanks(const QString& text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == QLatin1Char(' '))
        ++first;
    while (last > first && text.at(last - 1) == QLatin1Char(' '))
        --last;
    return text.mid(first, last - first);
}

QString roleCaption(quint8 role)
{
    switch (role) {
    case kEncoderRole: return QStringLiteral("ENCODER");
    case kDecoderRole: return QStringLiteral("DECODER");
    default: return QStringLiteral("UNKNOWN");
    }
}

// The version is a 16-bit count of tenths carried as a float; rounding
// recovers the exact tenth.
double versionInTenths(double version)
{
    return std::round(version * 10.0) / 10.0;
}

int clampToBar(int value, const QScrollBar* bar)
{
    return std::clamp(value, bar->minimum(), bar->maximum());
}

} // namespace

ConfigurationConfirmer::ConfigurationConfirmer(NmsContext& context, QObject* parent)
    : QObject(parent)
    , m_ctx(context)
{
}

QString ConfigurationConfirmer::versionCaption(double version)
{
    return QString::number(versionInTenths(version), 'f', 1)
        .replace(QLatin1Char(','), QLatin1Char('.'));
}

QString ConfigurationConfirmer::versionStoredText(double version)
{
    return text::ShortestNumber(versionInTenths(version));
}

void ConfigurationConfirmer::ConfirmConfiguration(const FeedbackRecord& record)
{
    if (!isAnswerFromSelectedElement(record)) {
        refuseRecord(QStringLiteral("The response received does not match the selected element."));
        return;
    }
    // Every write goes to this one section, fixed before the first box opens.
    const QString section = text::NormalizeMAC(record.mac);
    if (!isStoredRecordSound(section)) {
        refuseRecord(
            QStringLiteral("The data stored in your computer about this element, is corrupted."));
        return;
    }
    m_writeFailed = false;
    bool mismatch = !compareAndStoreFields(record, section);
    mismatch = !takeRole(record, section) || mismatch;
    takeSerialAndVersion(record, section);
    takeSfnAndBuffer(record, section);
    if (record.role == kDecoderRole)
        takeDecoderValues(record, section);
    // A value that did not reach the file is not "saved": no success then.
    if (m_writeFailed) {
        m_ctx.reportDatabaseWriteFailure();
        return;
    }
    if (!mismatch) {
        m_ctx.dialogs.information(
            QStringLiteral("Configuration changed"),
            {QStringLiteral("New configuration has been sucessfuly saved and loaded!")});
    }
}

bool ConfigurationConfirmer::isAnswerFromSelectedElement(const FeedbackRecord& record) const
{
    return m_ctx.ui.lblElementMAC->caption() == record.mac;
}

bool ConfigurationConfirmer::isStoredRecordSound(const QString& section) const
{
    return m_ctx.ini.GetSectionKeyCount(section, m_ctx.iniPath) < kCorruptKeyCount;
}

bool ConfigurationConfirmer::compareAndStoreFields(const FeedbackRecord& record,
                                                   const QString& section)
{
    const FrmMainControls& ui = m_ctx.ui;
    bool allMatch = true;
    auto checkText = [&](const QString& panel, const QString& reported, const QString& key,
                         const QString& stored, const QString& field) {
        if (panel == reported) {
            write(section, key, stored);
            return;
        }
        allMatch = false;
        reportMismatch(field);
    };
    auto checkIndex = [&](const QComboBox* box, quint8 reported, const QString& key,
                          const QString& field) {
        const int index = box->currentIndex();
        checkText(QString::number(index), QString::number(reported), key, QString::number(index),
                  field);
    };

    const QString name = ui.txtElementName->text();
    checkText(trimBlanks(name).toUpper(), trimBlanks(record.name).toUpper(), QStringLiteral("name"),
              text::PadName16(name), QStringLiteral("Element Name"));
    checkText(ui.txtElementIP->text(), record.ip, QStringLiteral("ip"), ui.txtElementIP->text(),
              QStringLiteral("Element IP"));
    checkText(ui.txtElementMask->text(), record.mask, QStringLiteral("mask"),
              ui.txtElementMask->text(), QStringLiteral("Element Mask"));
    checkText(ui.txtElementGW->text(), record.gw, QStringLiteral("gw"), ui.txtElementGW->text(),
              QStringLiteral("Element GW"));
    checkText(ui.txtRemoteIP->text(), record.remote, QStringLiteral("remote"),
              ui.txtRemoteIP->text(), QStringLiteral("Remote IP"));
    checkIndex(ui.cmbAudioInput, record.input, QStringLiteral("input"),
               QStringLiteral("Audio Input"));
    checkIndex(ui.cmbAudioType, record.type, QStringLiteral("type"), QStringLiteral("Audio Type"));
    checkIndex(ui.cmbAudioTX, record.tx, QStringLiteral("tx"), QStringLiteral("Audio TX"));
    return allMatch;
}

bool ConfigurationConfirmer::takeRole(const FeedbackRecord& record, const QString& section)
{
    write(section, QStringLiteral("role"), QString::number(record.role));
    m_ctx.ui.lblElementType->setCaption(roleCaption(record.role));
    return record.role == kEncoderRole || record.role == kDecoderRole;
}

void ConfigurationConfirmer::takeSerialAndVersion(const FeedbackRecord& record,
                                                  const QString& section)
{
    m_ctx.ui.lblSerialNumber->setCaption(QString::number(record.sn));
    write(section, QStringLiteral("sn"), QString::number(record.sn));
    m_ctx.ui.lblVersion->setCaption(versionCaption(record.ver));
    write(section, QStringLiteral("ver"), versionStoredText(record.ver));
}

void ConfigurationConfirmer::takeSfnAndBuffer(const FeedbackRecord& record, const QString& section)
{
    // Stored so that the next selection shows what the element runs; the
    // panel keeps the operator's values until then. A short answer that did
    // not carry a value leaves the stored one as it was.
    if (record.hasSfn)
        write(section, QStringLiteral("sfn"), QString::number(record.sfn));
    if (record.hasBuf)
        write(section, QStringLiteral("buf"), QString::number(record.buf));
}

void ConfigurationConfirmer::takeDecoderValues(const FeedbackRecord& record, const QString& section)
{
    FrmMainControls& ui = m_ctx.ui;
    // Raised to the bar's minimum; as a byte it cannot pass the maximum.
    const int attenuation = std::max<int>(record.att, ui.scrlAtten->minimum());
    setScrollValue(ui.scrlAtten, attenuation);
    write(section, QStringLiteral("att"), QString::number(attenuation));

    // A short answer that did not carry a silence-detection value leaves
    // both the panel and the stored value as they were.
    if (record.hasSdm) {
        if (record.sdm < ui.cmbSilDetMode->count())
            setListIndex(ui.cmbSilDetMode, record.sdm);
        write(section, QStringLiteral("sdm"), QString::number(record.sdm));
    }
    if (record.hasSdl) {
        const int level = clampToBar(record.sdl, ui.scrlSilDetLevel);
        setScrollValue(ui.scrlSilDetLevel, level);
        write(section, QStringLiteral("sdl"), QString::number(level));
    }
    if (record.hasSdt) {
        const int time = clampToBar(record.sdt, ui.scrlSilDetTime);
        setScrollValue(ui.scrlSilDetTime, time);
        write(section, QStringLiteral("sdt"), QString::number(time));
    }
}

// Through the panel, as a selection does: a value set by code runs the
// control's change behaviour even when it equals the one shown. The role
// caption set just before has laid the panel out again, which enabled the
// detector's settings whatever mode is shown.
void ConfigurationConfirmer::setListIndex(QComboBox* list, int index)
{
    if (m_ctx.panel != nullptr)
        m_ctx.panel->SetListIndex(list, index);
    else
        list->setCurrentIndex(index);
}

void ConfigurationConfirmer::setScrollValue(QScrollBar* bar, int value)
{
    if (m_ctx.panel != nullptr)
        m_ctx.panel->SetScrollValue(bar, value);
    else
        bar->setValue(value);
}

void ConfigurationConfirmer::refuseRecord(const QString& reason)
{
    m_ctx.dialogs.critical(kApplicationTitle,
                           {reason, QStringLiteral("Cannot save this element info.")});
}

void ConfigurationConfirmer::reportMismatch(const QString& field)
{
    m_ctx.dialogs.critical(kApplicationTitle,
                           {QStringLiteral("An error occured while saving '%1':").arg(field),
                            QStringLiteral("Feedback is corrupted.")});
}

void ConfigurationConfirmer::write(const QString& section, const QString& key, const QString& value)
{
    if (!m_ctx.ini.WriteToINI(section, key, value, m_ctx.iniPath))
        m_writeFailed = true;
}

} // namespace nms
