#pragma once

#include "TestSupport.h"

#include "app/SettingsStore.h"
#include "editor/Form1.h"
#include "layouts/CaptionLabel.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QTemporaryDir>

namespace TestSupport {

// The main window as the unit tests meet it: the fake seam for everything
// modal, the real settings store in the test's private folder, and an empty
// program folder of its own, where a test lays the skin or the hand pointer.
// A test program adds what it alone needs by deriving from it; one that
// needs a seam of its own (a real printer, say) names it.
template <typename ServicesKind>
struct EditorWith
{
    ServicesKind services;
    SettingsStore settings;
    QTemporaryDir programFolder;
    Form1 form{services, settings, programFolder.path()};

    QWidget *control(const char *name) const { return form.controls().find(QLatin1String(name)); }
    template <typename T>
    T *control(const char *name) const
    {
        return form.controls().get<T>(QLatin1String(name));
    }
    bool shown(const char *name) const { return !control(name)->isHidden(); }

    QLineEdit *field(char letter) const { return form.field(letter); }
    CaptionLabel *label(char letter) const { return form.previewLabel(letter); }
    void type(char letter, const QString &text) { form.field(letter)->setText(text); }

    // A file beside the program, as the skin ("x/o.cjs") and the hand
    // pointer lie.
    QString programFile(const char *relative) const { return programFolder.filePath(QLatin1String(relative)); }
    bool installProgramFile(const char *relative, const QByteArray &bytes) const
    {
        const QString path = programFile(relative);
        if (!QDir().mkpath(QFileInfo(path).absolutePath()))
            return false;
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    }
};

using Editor = EditorWith<FakeServices>;

} // namespace TestSupport
