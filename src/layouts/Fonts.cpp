#include "layouts/Fonts.h"

#include <QFile>
#include <QFontDatabase>
#include <QHash>
#include <QSet>

#include <fontconfig/fontconfig.h>

#include <future>

namespace Fonts {

namespace {

struct Substitute
{
    const char *declared;
    // Families to try in order; the files that provide them are registered
    // first so they are found even where fontconfig does not list them.
    const char *families[3];
};

// Liberation Sans is metric-compatible with Arial. Wine's Tahoma and
// MS Sans Serif are metric-compatible free versions of those faces (they
// live outside fontconfig's path). Impact is a heavy condensed grotesque;
// Liberation Sans Narrow Bold is the closest free face Debian ships.
constexpr Substitute substitutes[] = {
    {"Arial", {"Liberation Sans", "Arimo", "DejaVu Sans"}},
    {"Tahoma", {"Tahoma", "DejaVu Sans", "Liberation Sans"}},
    {"MS Sans Serif", {"MS Sans Serif", "Liberation Sans", "DejaVu Sans"}},
    {"Impact", {"Liberation Sans Narrow", "DejaVu Sans Condensed", "Liberation Sans"}},
};

constexpr const char *fontFiles[] = {
    "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf",
    "/usr/share/fonts/truetype/liberation2/LiberationSans-Bold.ttf",
    "/usr/share/fonts/truetype/liberation/LiberationSansNarrow-Regular.ttf",
    "/usr/share/fonts/truetype/liberation/LiberationSansNarrow-Bold.ttf",
    "/usr/share/wine/fonts/tahoma.ttf",
    "/usr/share/wine/fonts/tahomabd.ttf",
    "/usr/share/wine/fonts/ms_sans_serif.ttf",
};

std::future<void> &configurationLoad()
{
    static std::future<void> load;
    return load;
}

QHash<QString, QString> &resolved()
{
    static QHash<QString, QString> cache;
    return cache;
}

// The font files the system's configuration lists already. Registering one
// of them again adds nothing the font database does not have, yet reading a
// file's character coverage costs about as much as all else done with it.
QSet<QByteArray> systemFontFiles()
{
    QSet<QByteArray> files;
    FcFontSet *fonts = FcConfigGetFonts(nullptr, FcSetSystem);
    for (int n = 0; fonts && n < fonts->nfont; ++n) {
        FcChar8 *file = nullptr;
        if (FcPatternGetString(fonts->fonts[n], FC_FILE, 0, &file) == FcResultMatch && file)
            files.insert(QByteArray(reinterpret_cast<const char *>(file)));
    }
    return files;
}

} // namespace

void loadConfigurationAhead()
{
    std::future<void> &load = configurationLoad();
    if (!load.valid())
        load = std::async(std::launch::async, [] { FcInit(); });
}

void registerSubstitutes()
{
    static const bool done = [] {
        // Reading the configuration takes fontconfig several milliseconds.
        // A load started ahead is waited for, not repeated: a second reader
        // would parse it all again only to throw its copy away.
        if (std::future<void> &load = configurationLoad(); load.valid())
            load.wait();
        const QSet<QByteArray> listed = systemFontFiles();
        for (const char *file : fontFiles) {
            if (!listed.contains(QByteArray(file)) && QFile::exists(QLatin1String(file)))
                QFontDatabase::addApplicationFont(QLatin1String(file));
        }
        return true;
    }();
    Q_UNUSED(done);
}

QString resolveFamily(const QString &declared)
{
    auto &cache = resolved();
    if (auto it = cache.constFind(declared); it != cache.constEnd())
        return *it;
    registerSubstitutes();
    QString family = declared;
    for (const Substitute &substitute : substitutes) {
        if (declared.compare(QLatin1String(substitute.declared), Qt::CaseInsensitive) != 0)
            continue;
        // A family installed under its own name is taken as it is; only one
        // that is not asks fontconfig whether an alias stands in for it,
        // which runs the whole configuration over the name each time.
        const QStringList installed = QFontDatabase::families();
        for (const char *candidate : substitute.families) {
            const QString name = QLatin1String(candidate);
            if (installed.contains(name, Qt::CaseInsensitive) || QFontDatabase::hasFamily(name)) {
                family = name;
                break;
            }
        }
        break;
    }
    cache.insert(declared, family);
    return family;
}

QFont resolve(const Layout::Font &declared)
{
    QFont font(resolveFamily(QLatin1String(declared.family)));
    font.setPointSizeF(declared.points);
    // Layout weights and Qt's share the same 100 to 900 scale.
    font.setWeight(QFont::Weight(qBound(100, declared.weight, 900)));
    font.setStyleStrategy(QFont::PreferOutline);
    return font;
}

} // namespace Fonts
