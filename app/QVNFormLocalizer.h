#pragma once

#include <QString>

class QFont;
class QVNLanguage;
class QWidget;

/**
 * @brief Applies a language's font and texts to a window by walking its widget tree.
 *
 * Every window calls Localize while it loads. Texts are looked up by objectName in the window's
 * section (the window's objectName, e.g. "Frm_Build"): "CAPTION" for the title, one entry per
 * captioned control (Cmd_, Lbl_, Opt_, RB_, Chk_, Fra_, Mnu_ and menu/tool-bar actions), grid
 * headings under grid + "_0_" + column number (1-based), drop-down item lists under grid +
 * "_A_" + column number (TAB-separated, read with ItemList).
 */
class QVNFormLocalizer
{
public:
    /// Font, caption and control texts of the window from the current language.
    static void Localize(QWidget* window, QVNLanguage& language);

    /// Sets the font face on every control of the window (not on the window itself). An empty name
    /// means "MS Sans Serif"; that face, or one that is not installed, keeps the desktop's default
    /// UI font. The character set number maps to the script the font must cover (134 Chinese...).
    static void ApplyFormFont(QWidget* window, const QString& fontName, const QString& charset);

    /// The text of an entry for a window; the key itself when the language files lack it, so a
    /// missing entry is visible (and can be reported) instead of blanking its control.
    static QString Text(QVNLanguage& language, const QString& section, const QString& key);

    /// The font a control gets for a font name; the desktop's default when the name is unusable.
    static QFont ResolveFont(const QString& fontName, const QFont& desktopDefault);
};
