#include "protocol/ConfigurationConfirmer.h"

#include <algorithm>
#include <cmath>

#include "db/DatabaseWriteFailure.h"
#include "db/ElementPanelView.h"
#include "db/ElementRole.h"
#include "db/IniRoutines.h"
#include "db/TextHelpers.h"
#include "platform/Dialogs.h"
#include "protocol/FeedbackRecord.h"

namespace nms {
namespace {

using Text = ElementPanelView::Text;
using List = ElementPanelView::List;
using Scroll = ElementPanelView::Scroll;
using Caption = ElementPanelView::Caption;

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

// The version is a 16-bit count of tenths carried as a float; rounding
// recovers the exact tenth.
double versionInTenths(double version)
{
    return std::round(version * 10.0) / 10.0;
}

int clampToBar(int value, const ElementPanelView& panel, Scroll bar)
{
    return std::clamp(value, panel.scrollMinimum(bar), panel.scrollMaximum(bar));
}

} // namespace

ConfigurationConfirmer::ConfigurationConfirmer(Dialogs& dialogs, IniRoutines& ini,
                                               const QString& iniPath, ElementPanelView& panel,
                                               QObject* parent)
    : QObject(parent)
    , m_dialogs(dialogs)
    , m_ini(ini)
    , m_iniPath(iniPath)
    , m_panel(panel)
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
        ReportDatabaseWriteFailure(m_dialogs);
        return;
    }
    if (!mismatch) {
        m_dialogs.information(
            QStringLiteral("Configuration changed"),
            {QStringLiteral("New configuration has been sucessfuly saved and loaded!")});
    }
}

bool ConfigurationConfirmer::isAnswerFromSelectedElement(const FeedbackRecord& record) const
{
    return m_panel.caption(Caption::Mac) == record.mac;
}

bool ConfigurationConfirmer::isStoredRecordSound(const QString& section) const
{
    return m_ini.GetSectionKeyCount(section, m_iniPath) < kCorruptKeyCount;
}

bool ConfigurationConfirmer::compareAndStoreFields(const FeedbackRecord& record,
                                                   const QString& section)
{
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
    auto checkIndex = [&](List list, quint8 reported, const QString& key, const QString& field) {
        const int index = m_panel.listIndex(list);
        checkText(QString::number(index), QString::number(reported), key, QString::number(index),
                  field);
    };

    auto checkAddress = [&](Text field, const QString& reported, const QString& key,
                            const QString& fieldName) {
        const QString shown = m_panel.text(field);
        checkText(shown, reported, key, shown, fieldName);
    };

    const QString name = m_panel.text(Text::Name);
    checkText(trimBlanks(name).toUpper(), trimBlanks(record.name).toUpper(), QStringLiteral("name"),
              text::PadName16(name), QStringLiteral("Element Name"));
    checkAddress(Text::IP, record.ip, QStringLiteral("ip"), QStringLiteral("Element IP"));
    checkAddress(Text::Mask, record.mask, QStringLiteral("mask"), QStringLiteral("Element Mask"));
    checkAddress(Text::Gateway, record.gw, QStringLiteral("gw"), QStringLiteral("Element GW"));
    checkAddress(Text::Remote, record.remote, QStringLiteral("remote"),
                 QStringLiteral("Remote IP"));
    checkIndex(List::AudioInput, record.input, QStringLiteral("input"),
               QStringLiteral("Audio Input"));
    checkIndex(List::AudioType, record.type, QStringLiteral("type"), QStringLiteral("Audio Type"));
    checkIndex(List::AudioTX, record.tx, QStringLiteral("tx"), QStringLiteral("Audio TX"));
    return allMatch;
}

bool ConfigurationConfirmer::takeRole(const FeedbackRecord& record, const QString& section)
{
    write(section, QStringLiteral("role"), QString::number(record.role));
    m_panel.setCaption(Caption::ElementType, RoleCaption(record.role));
    return record.role == kEncoderRole || record.role == kDecoderRole;
}

void ConfigurationConfirmer::takeSerialAndVersion(const FeedbackRecord& record,
                                                  const QString& section)
{
    m_panel.setCaption(Caption::SerialNumber, QString::number(record.sn));
    write(section, QStringLiteral("sn"), QString::number(record.sn));
    m_panel.setCaption(Caption::Version, versionCaption(record.ver));
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
    // Through the panel, as a selection does: a value set by code runs the
    // control's change behaviour even when it equals the one shown. The role
    // caption set just before has laid the panel out again, which enabled
    // the detector's settings whatever mode is shown.
    // Raised to the bar's minimum; as a byte it cannot pass the maximum.
    const int attenuation = std::max<int>(record.att, m_panel.scrollMinimum(Scroll::Attenuation));
    m_panel.setScrollValue(Scroll::Attenuation, attenuation);
    write(section, QStringLiteral("att"), QString::number(attenuation));

    // A short answer that did not carry a silence-detection value leaves
    // both the panel and the stored value as they were.
    if (record.hasSdm) {
        if (record.sdm < m_panel.listCount(List::SilenceMode))
            m_panel.setListIndex(List::SilenceMode, record.sdm);
        write(section, QStringLiteral("sdm"), QString::number(record.sdm));
    }
    if (record.hasSdl) {
        const int level = clampToBar(record.sdl, m_panel, Scroll::SilenceLevel);
        m_panel.setScrollValue(Scroll::SilenceLevel, level);
        write(section, QStringLiteral("sdl"), QString::number(level));
    }
    if (record.hasSdt) {
        const int time = clampToBar(record.sdt, m_panel, Scroll::SilenceTime);
        m_panel.setScrollValue(Scroll::SilenceTime, time);
        write(section, QStringLiteral("sdt"), QString::number(time));
    }
}

void ConfigurationConfirmer::refuseRecord(const QString& reason)
{
    m_dialogs.critical(kApplicationTitle,
                       {reason, QStringLiteral("Cannot save this element info.")});
}

void ConfigurationConfirmer::reportMismatch(const QString& field)
{
    m_dialogs.critical(kApplicationTitle,
                       {QStringLiteral("An error occured while saving '%1':").arg(field),
                        QStringLiteral("Feedback is corrupted.")});
}

void ConfigurationConfirmer::write(const QString& section, const QString& key, const QString& value)
{
    if (!m_ini.WriteToINI(section, key, value, m_iniPath))
        m_writeFailed = true;
}

} // namespace nms
