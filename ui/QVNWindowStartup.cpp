#include "QVNWindowStartup.h"

#include "Frm_Database.h"
#include "Mdl_Main.h"
#include "QVNError.h"
#include "QVNModelEditorLauncher.h"
#include "QVNProcess.h"
#include "QVNSampleProject.h"

#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <ctime>

namespace {

/// Milliseconds since this process started, from the kernel's start time of the process.
double msSinceProcessStart()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // Field 22 (start time in clock ticks since boot) counts from the end of the command name.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 20)
        return -1;
    const double startTicks = fields[19].toDouble();
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const double nowMs = now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
    return nowMs - startTicks * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

QString residentMemory()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return QString();
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return QString::fromLatin1(line.mid(6).simplified());
    return QString();
}

/// Watches the main window for its first paint: for the start-up benchmark (prints the time from
/// process start to the first paint and the resident memory once idle) and for the screenshot.
class FirstPaintWatch : public QObject
{
public:
    FirstPaintWatch(QWidget* window, bool bench, QString screenshot)
        : m_window(window), m_bench(bench), m_screenshot(std::move(screenshot))
    {
        window->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_window && event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            if (m_bench)
                std::fprintf(stdout, "first-paint-ms %.0f\n", msSinceProcessStart());
            QTimer::singleShot(m_bench ? 1500 : 800, this, [this] { Finish(); });
        }
        return false;
    }

private:
    void Finish()
    {
        if (m_bench)
            std::fprintf(stdout, "idle-rss %s\n", qPrintable(residentMemory()));
        if (!m_screenshot.isEmpty())
            m_window->grab().save(m_screenshot);
        std::fflush(stdout);
        m_window->close();
    }

    QWidget* m_window;
    bool m_bench;
    QString m_screenshot;
    bool m_seen = false;
};

} // namespace

void QVNWindowStartup::InitResources()
{
    // The resources are compiled into this static library; the linker keeps them only when asked.
    Q_INIT_RESOURCE(quorvin);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/quorvin/quorvin.png")));
}

bool QVNWindowStartup::StartProgressServer(QVNProcess& process, const QString& appFolder, QString& error)
{
    if (process.Start(appFolder))
        return true;
    error = process.LastError();
    return false;
}

bool QVNWindowStartup::FinishProgressServer(QVNProcess& process, QString& error)
{
    if (process.FinishCreate())
        return true;
    error = process.LastError();
    return false;
}

int QVNWindowStartup::Run(const QString& appFolder, const QStringList& arguments, const FailureDisplay& failure)
{
    const bool bench = qEnvironmentVariableIsSet("QUORVIN_BENCH_STARTUP");
    auto phase = [bench](const char* name) {
        if (bench)
            std::fprintf(stdout, "phase %s %.0f\n", name, msSinceProcessStart());
    };
    phase("run");
    QVNProcess process;
    QString error;
    // The progress server is a program of its own: it starts up while the settings are read and
    // the window is made, and the window is shown only once the server answers.
    bool serverOk = StartProgressServer(process, appFolder, error);
    auto serverFailed = [&] {
        // The text is fixed: it must be readable whatever the settings hold.
        const QString text =
            QStringLiteral("Pellmar Quorvin cannot start: the progress server \"%1\" could not be created.\n\n%2")
                .arg(QVNProcess::ClassId(), error);
        if (failure)
            failure(text);
        else
            QMessageBox::critical(nullptr, QStringLiteral("Pellmar Quorvin"), text);
        return 2;
    };
    if (!serverOk)
        return serverFailed();

    Mdl_Main::Startup(appFolder);
    // The sample project points at the sample database with its real path on this machine; it is
    // made on first run. Not fatal: everything works without it.
    QVNError sampleErrors;
    QVNSampleProject::Ensure(Mdl_Main::AppPath, Mdl_Main::ProjectPath, Mdl_Main::OutPath, sampleErrors);

    phase("settings");
    if (arguments.size() >= 2 && arguments.first() == QLatin1String("--edit-model")) {
        if (!FinishProgressServer(process, error))
            return serverFailed();
        // The model editor alone, previewing against the sample project.
        const int status = QVNModelEditorLauncher::Open(arguments.at(1), nullptr, nullptr) ? QApplication::exec() : 2;
        process.Quit();
        process.Release();
        return status;
    }
    Frm_Database window;
    phase("window");
    serverOk = FinishProgressServer(process, error);
    phase("progress-server");
    if (!serverOk)
        return serverFailed();
    window.SetProcess(&process);
    const QString screenshot = qEnvironmentVariable("QUORVIN_SCREENSHOT");
    std::unique_ptr<FirstPaintWatch> watch;
    if (bench || !screenshot.isEmpty())
        watch = std::make_unique<FirstPaintWatch>(&window, bench, screenshot);
    window.show();

    const QString project = arguments.isEmpty() ? QString() : arguments.first();
    if (!project.isEmpty())
        QTimer::singleShot(0, &window, [&window, project] { window.OpenProjectFile(project); });

    const int status = QApplication::exec();
    process.Quit();
    process.Release();
    return status;
}
