#include "app/SkinEngine.h"

#include "base/Failure.h"

#include <QApplication>
#include <QFile>
#include <QStringDecoder>
#include <QWidget>

namespace {

// Qt reports a sheet it cannot parse only as a warning, so the check listens
// for that warning while a scratch widget is polished with the sheet.
// A message handler is a bare function, with no object to keep these in.
bool g_parseFailed = false;
QtMessageHandler g_previousHandler = nullptr;

void listenForParseWarning(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg && message.contains(QLatin1String("Could not parse")))
        g_parseFailed = true;
    else if (g_previousHandler)
        g_previousHandler(type, context, message);
}

} // namespace

bool SkinEngine::parses(const QString &sheet)
{
    g_parseFailed = false;
    g_previousHandler = qInstallMessageHandler(listenForParseWarning);
    {
        QWidget scratch;
        scratch.setStyleSheet(sheet);
        scratch.ensurePolished();
    }
    qInstallMessageHandler(g_previousHandler);
    g_previousHandler = nullptr;
    return !g_parseFailed;
}

void SkinEngine::LoadSkin(const QString &path, const QString &section)
{
    Q_UNUSED(section);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(QStringLiteral("The skin file %1 cannot be read: %2.").arg(path, file.errorString()));
    constexpr qint64 limit = 4 * 1024 * 1024;
    const QByteArray bytes = file.read(limit + 1);
    if (file.error() != QFileDevice::NoError)
        throw Failure(QStringLiteral("The skin file %1 cannot be read: %2.").arg(path, file.errorString()));
    if (bytes.size() > limit)
        throw Failure(QStringLiteral("The skin file %1 is too large to be a skin.").arg(path));
    auto decoder = QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError() || bytes.contains('\0'))
        throw Failure(QStringLiteral("The skin file %1 is not a text file.").arg(path));
    if (!parses(text))
        throw Failure(QStringLiteral("The skin file %1 is not a style sheet this program can read.").arg(path));
    m_styleSheet = text;
    m_loaded = true;
}

void SkinEngine::ApplyWindow(QWidget *window)
{
    if (!m_loaded)
        throw Failure(QStringLiteral("No skin has been loaded."));
    if (!m_enabled || !window)
        return;
    if (m_followPalette) {
        QPalette palette = window->palette();
        const QPalette user = QApplication::palette();
        for (auto role : {QPalette::Button, QPalette::ButtonText, QPalette::Light, QPalette::Midlight,
                          QPalette::Mid, QPalette::Dark, QPalette::Shadow})
            palette.setColor(role, user.color(role));
        window->setPalette(palette);
    }
    if (m_options & WindowScoped)
        window->setStyleSheet(m_styleSheet);
    else
        qApp->setStyleSheet(m_styleSheet);
}
