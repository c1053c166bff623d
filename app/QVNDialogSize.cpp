#include "QVNDialogSize.h"

#include "Mdl_Main.h"
#include "QVNConfig.h"

#include <QEvent>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace {

const QString kValue = QStringLiteral("Size");

/// Watches one dialog; a child of it, so it goes with the dialog.
class SizeKeeper : public QObject
{
public:
    explicit SizeKeeper(QWidget* dialog) : QObject(dialog), m_dialog(dialog) {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != m_dialog)
            return false;
        if (event->type() == QEvent::Hide) {
            Mdl_Main::Config().SaveRegSetting(Mdl_Main::ProductName, m_dialog->objectName(), kValue,
                                              QStringLiteral("%1x%2").arg(m_dialog->width()).arg(m_dialog->height()));
        }
        return false;
    }

    void Restore()
    {
        const QString stored =
            Mdl_Main::Config().LoadRegSetting(Mdl_Main::ProductName, m_dialog->objectName(), kValue, QString());
        const QStringList parts = stored.split(QLatin1Char('x'));
        if (parts.size() != 2)
            return;
        bool okWidth = false, okHeight = false;
        int width = parts.at(0).toInt(&okWidth);
        int height = parts.at(1).toInt(&okHeight);
        if (!okWidth || !okHeight || width <= 0 || height <= 0)
            return;
        // A size kept on a larger screen must not put the dialog's edges out of reach.
        if (const QScreen* screen = m_dialog->screen()) {
            const QSize room = screen->availableSize();
            width = std::min(width, room.width());
            height = std::min(height, room.height());
        }
        m_dialog->resize(QSize(width, height).expandedTo(m_dialog->minimumSize()));
    }

private:
    QWidget* m_dialog;
};

} // namespace

void QVNDialogSize::Remember(QWidget* dialog)
{
    if (!dialog || dialog->objectName().isEmpty())
        return;
    auto* keeper = new SizeKeeper(dialog);
    keeper->Restore();
    dialog->installEventFilter(keeper);
}
