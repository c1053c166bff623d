#include "QVNMessage.h"

#include "Frm_Error.h"

#include <QApplication>

namespace {
QVNMessage::Handler& handler()
{
    static QVNMessage::Handler h;
    return h;
}
} // namespace

void QVNMessage::SetHandler(Handler h)
{
    handler() = std::move(h);
}

void QVNMessage::Show(const QString& pStr_Message, int pInt_Type, const QString& pStr_Detail, bool pBol_ShowDetail,
                      int pInt_AutoCloseTime, QWidget* owner)
{
    if (handler()) {
        handler()(pStr_Message, pInt_Type, pStr_Detail);
        return;
    }
    if (!owner)
        owner = QApplication::activeWindow();
    Frm_Error window(owner);
    window.Setup(pStr_Message, pInt_Type, pStr_Detail, pBol_ShowDetail, pInt_AutoCloseTime);
    window.exec();
}
