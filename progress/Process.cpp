#include "Process.h"

#include "ProcessServer.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

namespace {
bool sameName(const QString& a, const char* b)
{
    return a.compare(QLatin1String(b), Qt::CaseInsensitive) == 0;
}

// Conversions follow the late-bound rules callers expect: an empty value reads as "" or false,
// texts "True"/"False" and numbers become booleans, numbers and booleans become texts.
bool toText(const QVariant& value, QString* text)
{
    switch (value.typeId()) {
    case QMetaType::UnknownType:
        text->clear();
        return true;
    case QMetaType::Bool:
        *text = value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
        return true;
    case QMetaType::QString:
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::Double:
        *text = value.toString();
        return true;
    default:
        return false;
    }
}

bool toBool(const QVariant& value, bool* flag)
{
    switch (value.typeId()) {
    case QMetaType::UnknownType:
        *flag = false;
        return true;
    case QMetaType::Bool:
        *flag = value.toBool();
        return true;
    case QMetaType::LongLong:
    case QMetaType::Int:
        *flag = value.toLongLong() != 0;
        return true;
    case QMetaType::Double:
        *flag = value.toDouble() != 0.0;
        return true;
    case QMetaType::QString: {
        const QString text = value.toString().trimmed();
        if (text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) {
            *flag = true;
            return true;
        }
        if (text.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) {
            *flag = false;
            return true;
        }
        bool numeric = false;
        const double number = text.toDouble(&numeric);
        if (!numeric)
            return false;
        *flag = number != 0.0;
        return true;
    }
    default:
        return false;
    }
}

QString countError(const QString& member, int minimum, int maximum, qsizetype given)
{
    const QString expected =
        minimum == maximum ? QString::number(minimum) : QStringLiteral("%1 to %2").arg(minimum).arg(maximum);
    return QStringLiteral("Wrong number of arguments for \"%1\": expected %2, got %3").arg(member, expected).arg(given);
}

QString typeError(const QString& member, qsizetype position, const char* expected)
{
    return QStringLiteral("Type mismatch in argument %1 of \"%2\": expected %3")
        .arg(position)
        .arg(member, QLatin1String(expected));
}
} // namespace

Process::Process(ProcessServer& server) : m_server(server) {}

Process::~Process()
{
    Quit();
}

bool Process::ProcessCanceled() const
{
    return m_server.Canceled();
}

qint32 Process::ProcessFormHwnd()
{
    return m_server.ProcessFormHwnd();
}

void Process::ShowProcess(const QString& pStr_Title, bool pBol_CanCancel)
{
    m_server.ShowProcess(pStr_Title, pBol_CanCancel, CancelCaption);
}

void Process::SetProcessing(const QString& pStr_Processing)
{
    m_server.SetProcessing(pStr_Processing);
}

void Process::EndProcess()
{
    m_server.EndProcess();
}

void Process::Quit()
{
    EndProcess();
}

bool Process::Invoke(const QString& member, const QVariantList& arguments, QVariant* result, QString* error)
{
    *result = QVariant();
    error->clear();
    const qsizetype count = arguments.size();
    const auto checkCount = [&](int minimum, int maximum) {
        if (count >= minimum && count <= maximum)
            return true;
        *error = countError(member, minimum, maximum, count);
        return false;
    };

    if (sameName(member, "ShowProcess")) {
        QString title;
        bool canCancel = true;
        if (!checkCount(1, 2))
            return false;
        if (!toText(arguments.at(0), &title)) {
            *error = typeError(member, 1, "a text");
            return false;
        }
        if (count == 2 && !toBool(arguments.at(1), &canCancel)) {
            *error = typeError(member, 2, "a boolean");
            return false;
        }
        ShowProcess(title, canCancel);
        return true;
    }
    if (sameName(member, "SetProcessing")) {
        QString text;
        if (!checkCount(1, 1))
            return false;
        if (!toText(arguments.at(0), &text)) {
            *error = typeError(member, 1, "a text");
            return false;
        }
        SetProcessing(text);
        return true;
    }
    if (sameName(member, "ProcessCanceled")) {
        if (!checkCount(0, 0))
            return false;
        *result = ProcessCanceled();
        return true;
    }
    if (sameName(member, "EndProcess") || sameName(member, "Quit")) {
        if (!checkCount(0, 0))
            return false;
        EndProcess();
        return true;
    }
    if (sameName(member, "CancelCaption")) {
        if (!checkCount(0, 1))
            return false;
        if (count == 0) {
            *result = CancelCaption;
            return true;
        }
        QString caption;
        if (!toText(arguments.at(0), &caption)) {
            *error = typeError(member, 1, "a text");
            return false;
        }
        CancelCaption = caption;
        return true;
    }
    if (sameName(member, "ProcessFormHwnd")) {
        if (!checkCount(0, 0))
            return false;
        *result = ProcessFormHwnd();
        return true;
    }
    if (m_server.TestHooksEnabled() && invokeTestHook(member, arguments, result, error))
        return error->isEmpty();

    *error = QStringLiteral("Object doesn't support this property or method: \"%1\"").arg(member);
    return false;
}

// Members that let tests on the other side of the socket press Cancel and look at the window, as a
// user would. Returns false when `member` is not one of them.
bool Process::invokeTestHook(const QString& member, const QVariantList& arguments, QVariant* result, QString* error)
{
    Frm_Process* window = m_server.Window();
    if (sameName(member, "TestClickCancel")) {
        auto* button = window ? window->findChild<QPushButton*>(QStringLiteral("Cmd_Cancel")) : nullptr;
        if (!button || !window->isVisible() || button->isHidden())
            *error = QStringLiteral("The Cancel button is not shown");
        else
            button->click();
        return true;
    }
    if (sameName(member, "TestCloseWindow")) {
        if (window)
            window->close();
        return true;
    }
    if (sameName(member, "TestTick")) {
        if (window)
            window->Tick();
        return true;
    }
    if (sameName(member, "TestPid")) {
        *result = QCoreApplication::applicationPid();
        return true;
    }
    if (sameName(member, "TestGrab")) {
        // Saves what the screen shows of the window: the by-hand check under a real X server.
        QScreen* screen = window ? window->screen() : nullptr;
        if (!screen || arguments.size() != 1 || !screen->grabWindow(window->winId()).save(arguments.at(0).toString()))
            *error = QStringLiteral("Cannot grab the window");
        return true;
    }
    if (!sameName(member, "TestWindow"))
        return false;
    if (arguments.size() != 1) {
        *error = countError(member, 1, 1, arguments.size());
        return true;
    }
    const QString what = arguments.at(0).toString();
    if (sameName(what, "Loaded")) {
        *result = window != nullptr;
    } else if (!window) {
        *error = QStringLiteral("The window is not loaded");
    } else if (sameName(what, "Visible")) {
        *result = window->isVisible();
    } else if (sameName(what, "Caption")) {
        *result = window->windowTitle();
    } else if (sameName(what, "Title")) {
        *result = window->findChild<QLineEdit*>(QStringLiteral("Txt_Title"))->text();
    } else if (sameName(what, "Processing")) {
        *result = window->findChild<QLabel*>(QStringLiteral("Lbl_Processing"))->text();
    } else if (sameName(what, "Bar")) {
        *result = window->findChild<QProgressBar*>(QStringLiteral("PB_Process"))->value();
    } else if (sameName(what, "CancelText")) {
        *result = window->findChild<QPushButton*>(QStringLiteral("Cmd_Cancel"))->text();
    } else if (sameName(what, "CancelVisible")) {
        *result = !window->findChild<QPushButton*>(QStringLiteral("Cmd_Cancel"))->isHidden();
    } else if (sameName(what, "Topmost")) {
        *result = window->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    } else if (sameName(what, "StartTime")) {
        *result = window->StartTime();
    } else {
        *error = QStringLiteral("Unknown window property \"%1\"").arg(what);
    }
    return true;
}
