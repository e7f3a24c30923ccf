#pragma once

#include <QString>

class QWidget;

// The theming layer: a skin is a Qt style sheet read from a file and applied
// to a window. Its calls, in the order the start-up makes them: LoadSkin,
// Options / SetOptions, SetEnabled, SetFollowPalette, ApplyWindow.
class SkinEngine
{
public:
    // Option bit: keep the skin on the window it is applied to. Without it the
    // sheet is installed for the whole application.
    static constexpr int WindowScoped = 1;

    // Reads and checks a skin file. Throws Failure when it cannot be read,
    // is not text, or is not a style sheet Qt can parse. `section` names a
    // part of a multi-part skin; the skins this program ships have one part,
    // so it is empty.
    void LoadSkin(const QString &path, const QString &section);

    int Options() const { return m_options; }
    void SetOptions(int options) { m_options = options; }

    // A disabled engine applies nothing.
    void SetEnabled(bool enabled) { m_enabled = enabled; }

    // Make the window's button colours the user's own palette again before
    // the sheet is applied, so "palette(button)" in a skin follows the user's
    // colour scheme rather than colours a layout set.
    void SetFollowPalette(bool follow) { m_followPalette = follow; }

    // Applies the loaded skin. Throws Failure when no skin has been loaded.
    void ApplyWindow(QWidget *window);

    QString styleSheet() const { return m_styleSheet; }
    bool loaded() const { return m_loaded; }

    // Whether Qt's style-sheet parser accepts `sheet`.
    static bool parses(const QString &sheet);

private:
    QString m_styleSheet;
    bool m_loaded = false;
    int m_options = 0;
    bool m_enabled = false;
    bool m_followPalette = false;
};
