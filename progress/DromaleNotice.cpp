#include "DromaleNotice.h"

#include <QMessageBox>
#include <QTimer>

#include <cstdio>

void DromaleNotice::Show(int autoCloseMs)
{
    QMessageBox box(QMessageBox::Information, QStringLiteral("Message"),
                    QStringLiteral("I am a ActiveX EXE !\n\nDon't execute me directly, please !"), QMessageBox::Ok);
    box.setObjectName(QStringLiteral("Msg_Notice"));
    if (autoCloseMs > 0) {
        QTimer::singleShot(autoCloseMs, &box, [&box] {
            // Read back from the box as shown, not from the literals above.
            const QByteArray out = box.windowTitle().toUtf8() + '\n' + box.text().toUtf8() + '\n';
            std::fwrite(out.constData(), 1, static_cast<size_t>(out.size()), stdout);
            std::fflush(stdout);
            box.done(QMessageBox::Ok);
        });
    }
    box.exec();
}
