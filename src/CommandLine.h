#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>

// What the program is asked to do by its arguments. With none it opens the
// card editor; the options make it a command-line tool that shows nothing.
class CommandLine
{
public:
    enum class Action { Window, Help, Version, Pdf, Png, Error };

    CommandLine();

    // `arguments` starts with the program's name, as argv does.
    Action parse(const QStringList &arguments);

    QString pdfFile() const { return m_parser.value(m_pdf); }
    QString pngFile() const { return m_parser.value(m_png); }
    // What was wrong with the arguments, worded for the user.
    QString errorText() const { return m_error; }
    // Needs an application object for the program's name in the usage line.
    QString helpText() const { return m_parser.helpText(); }
    static QString versionText();

private:
    QCommandLineParser m_parser;
    QCommandLineOption m_pdf;
    QCommandLineOption m_png;
    QCommandLineOption m_help;
    QCommandLineOption m_version;
    QString m_error;
};
