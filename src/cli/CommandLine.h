#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include "cli/OutputTable.h"

namespace nms::cli {

// The parser of one command: its options, --help, and the global --db,
// with the refusals of bad usage (CliError with the command's usage status:
// 2, or 3 for check). --help ends the command with its help on stdout.
class CommandLine {
public:
    CommandLine(const QString& command, const QString& description, const QString& defaultDatabase,
                int usageStatus);

    void addOption(const QCommandLineOption& option);
    void addFormatOption();
    void addPositional(const QString& name, const QString& description,
                       const QString& syntax = QString());
    // [ELEMENT...]: the elements to poll, every element of the database
    // when none is named.
    void addElementsPositional();
    // --silence-dbfs, the level rule's threshold; `consequence` says what a
    // level below it does.
    void addSilenceOption(const QString& consequence);

    // The arguments with the command's name first.
    void parse(const QStringList& arguments);

    bool isSet(const QString& option) const { return m_parser.isSet(option); }
    QString value(const QString& option) const { return m_parser.value(option); }
    QStringList positional() const { return m_parser.positionalArguments().mid(1); }
    // Exactly this many positional arguments, or a refusal.
    QStringList positional(qsizetype count) const;
    int intValue(const QString& option, int minimum, int maximum) const;
    double numberValue(const QString& option, double minimum, double maximum) const;
    double silenceDbfs() const;
    OutputTable::Format format() const;
    QString databasePath() const;
    int usageStatus() const { return m_usageStatus; }

    [[noreturn]] void refuse(const QString& message) const;

private:
    QString m_command;
    QString m_defaultDatabase;
    int m_usageStatus;
    QCommandLineParser m_parser;
};

} // namespace nms::cli
