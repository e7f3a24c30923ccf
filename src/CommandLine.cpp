#include "CommandLine.h"

#include <utility>

CommandLine::CommandLine()
    : m_pdf(QStringLiteral("pdf"),
            QStringLiteral("Write the sheet of six cards of the last card you edited to <file> as a "
                           "PDF at physical size, without opening a window, and exit. The page is "
                           "Letter where the locale measures in US units (LC_MEASUREMENT), A4 "
                           "everywhere else."),
            QStringLiteral("file")),
      m_png(QStringLiteral("png"),
            QStringLiteral("Write the first card of that sheet to <file> as a PNG picture at 600 dots "
                           "per inch (2202 x 1256 pixels), without opening a window, and exit."),
            QStringLiteral("file")),
      m_help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
             QStringLiteral("Show this help and exit.")),
      m_version(QStringList{QStringLiteral("v"), QStringLiteral("version")},
                QStringLiteral("Show the version and exit."))
{
    m_parser.setApplicationDescription(
        QStringLiteral("Designs and prints business cards. Without options, opens the card editor."));
    // "-pdf" reads as "--pdf", not as -p -d -f, like the toolkit's own -style.
    m_parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    m_parser.addOption(m_pdf);
    m_parser.addOption(m_png);
    m_parser.addOption(m_help);
    m_parser.addOption(m_version);
}

QString CommandLine::versionText()
{
    return QStringLiteral("tessary " TESSARY_VERSION);
}

CommandLine::Action CommandLine::parse(const QStringList &arguments)
{
    if (!m_parser.parse(arguments)) {
        m_error = m_parser.errorText();
        return Action::Error;
    }
    if (m_parser.isSet(m_help))
        return Action::Help;
    if (m_parser.isSet(m_version))
        return Action::Version;
    const QStringList extra = m_parser.positionalArguments();
    if (!extra.isEmpty()) {
        m_error = QStringLiteral("Unexpected argument '%1'.").arg(extra.first());
        return Action::Error;
    }
    if (m_parser.isSet(m_pdf) && m_parser.isSet(m_png)) {
        m_error = QStringLiteral("--pdf and --png cannot be given together.");
        return Action::Error;
    }
    for (const auto &[option, action] : {std::pair{&m_pdf, Action::Pdf}, std::pair{&m_png, Action::Png}}) {
        if (!m_parser.isSet(*option))
            continue;
        if (m_parser.value(*option).isEmpty()) {
            m_error = QStringLiteral("--%1 needs a file name.").arg(option->names().constFirst());
            return Action::Error;
        }
        return action;
    }
    return Action::Window;
}
