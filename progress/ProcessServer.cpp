#include "ProcessServer.h"

ProcessServer::ProcessServer(QObject* parent) : QObject(parent) {}

ProcessServer::~ProcessServer()
{
    delete m_window.data();
}

Frm_Process* ProcessServer::load()
{
    if (m_window)
        return m_window;
    m_window = new Frm_Process(m_clock);
    connect(m_window, &Frm_Process::cancelClicked, this, &ProcessServer::cancel);
    connect(m_window, &Frm_Process::closedByUser, this, &ProcessServer::unload);
    return m_window;
}

void ProcessServer::unload()
{
    Frm_Process* window = m_window;
    if (!window)
        return;
    m_window = nullptr;
    window->disconnect(this);
    window->hide();
    window->deleteLater();
}

void ProcessServer::cancel()
{
    m_canceled = true;
    unload();
}

void ProcessServer::ShowProcess(const QString& pStr_Title, bool pBol_CanCancel, const QString& pStr_CancelCaption)
{
    m_canceled = false;
    Frm_Process* window = load();
    window->SetTitle(pStr_Title);
    window->SetProcessing(QString());
    window->SetCancelButton(pStr_CancelCaption, pBol_CanCancel);
    // A window already on screen is brought back to the front; a new one appears in front anyway.
    if (window->isVisible())
        window->raise();
    else
        window->show();
}

void ProcessServer::SetProcessing(const QString& pStr_Processing)
{
    load()->SetProcessing(pStr_Processing);
}

qint32 ProcessServer::ProcessFormHwnd()
{
    return static_cast<qint32>(static_cast<quint32>(load()->winId()));
}

void ProcessServer::EndProcess()
{
    unload();
}
