#pragma once

#include <QKeySequence>
#include <QString>
#include <QStyle>

class QAction;
class QBoxLayout;
class QToolBar;
class QWidget;

/**
 * @brief The tool bar the dialogs carry instead of push buttons: "Tb_Tool", its actions named as
 * the language files name them ("ok", "exit", ...), captions and tool tips set by the dialog.
 */
class QVNDialogBar
{
public:
    /// A new tool bar "Tb_Tool" on `dialog`, text beside the icons.
    static QToolBar* Create(QWidget* dialog);
    /// Adds the action `name` with the style's `icon` and, when given, its `shortcut`.
    static QAction* AddAction(QToolBar* bar, const char* name, QStyle::StandardPixmap icon,
                              const QKeySequence& shortcut = QKeySequence());
    /// Sets a tool-bar action's caption; Alt with the caption's mnemonic letter then triggers it,
    /// beside any shortcut the action was given.
    static void SetCaption(QAction* action, const QString& text);
    /// Puts `bar` in a first row of `layout`, pushed to the right.
    static void PlaceTopRight(QBoxLayout* layout, QToolBar* bar);
    /// A caption without its mnemonic, for tool-bar buttons and accessible names: "&Open" and the
    /// Chinese form "打开(&O)" both become the bare word (trimmed, without a trailing "...").
    static QString PlainCaption(QString text);
};
