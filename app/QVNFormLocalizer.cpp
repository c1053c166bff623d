#include "QVNFormLocalizer.h"

#include "QVNLanguage.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QTableWidget>
#include <QToolButton>

namespace {

const QString kGlobal = QStringLiteral("GLOBAL");

bool isCaptionedName(const QString& name)
{
    static const char* const prefixes[] = {"Cmd_", "Lbl_", "Opt_", "RB_", "Chk_", "Fra_", "Mnu_"};
    for (const char* p : prefixes)
        if (name.startsWith(QLatin1String(p)))
            return true;
    return false;
}

} // namespace

QFont QVNFormLocalizer::ResolveFont(const QString& fontName, const QFont& desktopDefault)
{
    const QString name = fontName.trimmed();
    if (name.isEmpty() || name.compare(QLatin1String("MS Sans Serif"), Qt::CaseInsensitive) == 0)
        return desktopDefault;
    if (!QFontDatabase::families().contains(name, Qt::CaseInsensitive))
        return desktopDefault;
    QFont font = desktopDefault;
    font.setFamilies(QStringList{name});
    return font;
}

void QVNFormLocalizer::ApplyFormFont(QWidget* window, const QString& fontName, const QString& charset)
{
    if (!window)
        return;
    // The character set only chose a code page for the face on the original platform; Qt renders
    // Unicode and falls back per character, so the number needs no mapping here.
    Q_UNUSED(charset);
    const QFont font = ResolveFont(fontName, QApplication::font());
    const auto children = window->findChildren<QWidget*>();
    for (QWidget* w : children)
        w->setFont(font);
}

QString QVNFormLocalizer::Text(QVNLanguage& language, const QString& section, const QString& key)
{
    const QString text = language.GetLocalizeMessage(section, key);
    return text.isEmpty() ? key : text;
}

void QVNFormLocalizer::Localize(QWidget* window, QVNLanguage& language)
{
    if (!window)
        return;
    const QString section = window->objectName();
    ApplyFormFont(window, language.GetLocalizeMessage(kGlobal, QStringLiteral("FONT")),
                  language.GetLocalizeMessage(kGlobal, QStringLiteral("CHARSET")));
    window->setWindowTitle(Text(language, section, QStringLiteral("CAPTION")));

    for (QWidget* w : window->findChildren<QWidget*>()) {
        const QString name = w->objectName();
        if (name.isEmpty())
            continue;
        if (auto* table = qobject_cast<QTableWidget*>(w)) {
            for (int c = 0; c < table->columnCount(); ++c) {
                const QString text =
                    language.GetLocalizeMessage(section, QStringLiteral("%1_0_%2").arg(name).arg(c + 1));
                if (text.isEmpty())
                    continue; // grids are filled in code; keep a heading the language does not name
                QTableWidgetItem* item = table->horizontalHeaderItem(c);
                if (!item) {
                    item = new QTableWidgetItem();
                    table->setHorizontalHeaderItem(c, item);
                }
                item->setText(text);
            }
            continue;
        }
        if (!isCaptionedName(name))
            continue;
        const QString text = Text(language, section, name);
        if (auto* button = qobject_cast<QAbstractButton*>(w))
            button->setText(text);
        else if (auto* label = qobject_cast<QLabel*>(w))
            label->setText(text);
        else if (auto* group = qobject_cast<QGroupBox*>(w))
            group->setTitle(text);
        else if (auto* menu = qobject_cast<QMenu*>(w))
            menu->setTitle(text);
    }
    // Menu entries and tool-bar buttons are actions; they carry their names as objectName too.
    for (QAction* action : window->findChildren<QAction*>()) {
        const QString name = action->objectName();
        if (name.startsWith(QLatin1String("Mnu_")))
            action->setText(Text(language, section, name));
        else if (name.startsWith(QLatin1String("TB_TOOL_")))
            action->setToolTip(Text(language, section, name));
    }
}
