#include "QVNDialogBar.h"

#include <QAction>
#include <QBoxLayout>
#include <QRegularExpression>
#include <QToolBar>
#include <QWidget>

QToolBar* QVNDialogBar::Create(QWidget* dialog)
{
    auto* bar = new QToolBar(dialog);
    bar->setObjectName(QStringLiteral("Tb_Tool"));
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    return bar;
}

QAction* QVNDialogBar::AddAction(QToolBar* bar, const char* name, QStyle::StandardPixmap icon,
                                 const QKeySequence& shortcut)
{
    QAction* action = bar->addAction(bar->style()->standardIcon(icon), QString());
    action->setObjectName(QLatin1String(name));
    if (!shortcut.isEmpty())
        action->setShortcut(shortcut);
    return action;
}

void QVNDialogBar::SetCaption(QAction* action, const QString& text)
{
    // A tool button takes no mnemonic from its action: Alt with the caption's letter becomes one
    // more shortcut of the action, beside the ones it was given (kept when the language changes).
    const char* const own = "qvnOwnShortcuts";
    if (!action->property(own).isValid())
        action->setProperty(own, QVariant::fromValue(action->shortcuts()));
    QList<QKeySequence> shortcuts = action->property(own).value<QList<QKeySequence>>();
    const QKeySequence mnemonic = QKeySequence::mnemonic(text);
    if (!mnemonic.isEmpty())
        shortcuts.append(mnemonic);
    action->setText(text);
    action->setShortcuts(shortcuts);
}

void QVNDialogBar::PlaceTopRight(QBoxLayout* layout, QToolBar* bar)
{
    auto* row = new QHBoxLayout();
    row->addStretch(1);
    row->addWidget(bar);
    layout->insertLayout(0, row);
}

QString QVNDialogBar::PlainCaption(QString text)
{
    static const QRegularExpression mnemonic(QStringLiteral("\\(&.\\)|&(?=.)"));
    text.remove(mnemonic);
    if (text.endsWith(QStringLiteral("...")))
        text.chop(3);
    return text.trimmed();
}
