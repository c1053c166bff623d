#include "QVNProcess.h"

bool QVNProcess::ShowProcess(const QString& pStr_Title, bool pBol_CanCancel)
{
    m_object.Call(QStringLiteral("ShowProcess"), {pStr_Title, pBol_CanCancel});
    return !m_object.Failed();
}

bool QVNProcess::SetProcessing(const QString& pStr_Processing)
{
    m_object.Call(QStringLiteral("SetProcessing"), {pStr_Processing});
    return !m_object.Failed();
}

bool QVNProcess::EndProcess()
{
    m_object.Call(QStringLiteral("EndProcess"));
    return !m_object.Failed();
}

bool QVNProcess::Quit()
{
    m_object.Call(QStringLiteral("Quit"));
    return !m_object.Failed();
}

bool QVNProcess::ProcessCanceled()
{
    return m_object.Call(QStringLiteral("ProcessCanceled")).toBool();
}

qint32 QVNProcess::ProcessFormHwnd()
{
    return m_object.Call(QStringLiteral("ProcessFormHwnd")).toInt();
}

QString QVNProcess::CancelCaption()
{
    return m_object.Call(QStringLiteral("CancelCaption")).toString();
}

bool QVNProcess::SetCancelCaption(const QString& pStr_CancelCaption)
{
    m_object.Call(QStringLiteral("CancelCaption"), {pStr_CancelCaption});
    return !m_object.Failed();
}

std::function<void(const QString&, bool&)> QVNProcess::Listener()
{
    return [this](const QString& message, bool& cancel) {
        if (!message.isEmpty())
            SetProcessing(message);
        if (ProcessCanceled())
            cancel = true;
    };
}
