// Starts the window program several times with its start-up measurement switched on and prints
// the median time to the first paint and the median resident memory once the window is idle.
#include <QCoreApplication>
#include <QProcess>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    int runs = 7;
    if (args.size() >= 2 && args[0] == QLatin1String("--runs")) {
        runs = std::max(1, args[1].toInt());
        args = args.mid(2);
    }
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/quorvin");
    std::vector<double> paint, rss;
    for (int i = 0; i <= runs; ++i) { // the first run warms the caches and is not counted
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QUORVIN_BENCH_STARTUP"), QStringLiteral("1"));
        p.setProcessEnvironment(env);
        p.start(program, args);
        if (!p.waitForFinished(60000)) {
            std::fprintf(stderr, "quorvin did not finish\n");
            return 1;
        }
        double ms = -1, kb = -1;
        for (const QByteArray& line : p.readAllStandardOutput().split('\n')) {
            if (line.startsWith("first-paint-ms "))
                ms = line.mid(15).toDouble();
            else if (line.startsWith("idle-rss "))
                kb = line.mid(9).split(' ').value(0).toDouble();
        }
        if (ms < 0 || kb < 0) {
            std::fprintf(stderr, "no measurement from quorvin (exit %d): %s\n", p.exitCode(),
                         p.readAllStandardError().constData());
            return 1;
        }
        if (i > 0) {
            paint.push_back(ms);
            rss.push_back(kb);
        }
    }
    std::sort(paint.begin(), paint.end());
    std::sort(rss.begin(), rss.end());
    std::printf("runs %d\nfirst paint: median %.0f ms (min %.0f, max %.0f)\nidle resident memory: median %.1f MB\n",
                runs, paint[paint.size() / 2], paint.front(), paint.back(), rss[rss.size() / 2] / 1024.0);
    return 0;
}
