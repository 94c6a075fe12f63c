#pragma once

#include <QObject>
#include <QString>

namespace nms {

class Dialogs;
class ElementPanelView;
class IniRoutines;
struct FeedbackRecord;

// Matches an element's answer to a sent configuration against the panel,
// stores every field that matches and the values only the element knows,
// and reports each mismatch or the success. The tree is rebuilt by the
// caller afterwards.
class ConfigurationConfirmer : public QObject {
    Q_OBJECT
public:
    // A well-formed element record has at most 17 keys.
    static constexpr int kCorruptKeyCount = 18;

    ConfigurationConfirmer(Dialogs& dialogs, IniRoutines& ini, const QString& iniPath,
                           ElementPanelView& panel, QObject* parent = nullptr);

    void ConfirmConfiguration(const FeedbackRecord& record);

    // Version caption: one decimal digit, always with a point ("3.4", "2.0").
    static QString versionCaption(double version);
    // Version as stored: shortest form in the locale's notation ("3.4", "2").
    static QString versionStoredText(double version);

private:
    bool isAnswerFromSelectedElement(const FeedbackRecord& record) const;
    bool isStoredRecordSound(const QString& section) const;
    bool compareAndStoreFields(const FeedbackRecord& record, const QString& section);
    bool takeRole(const FeedbackRecord& record, const QString& section);
    void takeSerialAndVersion(const FeedbackRecord& record, const QString& section);
    void takeSfnAndBuffer(const FeedbackRecord& record, const QString& section);
    void takeDecoderValues(const FeedbackRecord& record, const QString& section);
    void refuseRecord(const QString& reason);
    void reportMismatch(const QString& field);
    void write(const QString& section, const QString& key, const QString& value);

    Dialogs& m_dialogs;
    IniRoutines& m_ini;
    const QString m_iniPath;
    ElementPanelView& m_panel;
    // Set by write() when a value did not reach the file.
    bool m_writeFailed = false;
};

} // namespace nms
