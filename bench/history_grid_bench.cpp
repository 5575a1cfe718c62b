// The history grid of a folder of 10 000 files: event-loop time and memory of
// filling the grid, printed beside a plain listing of the same folder (names
// and one status read per file, the least any grid must do), in one run.
// Then a refresh after one new file (what a slice or a watched change costs).
//   history_grid_bench [files]
#include "archive/history.h"
#include "core/main_controls.h"
#include "ui/setup/frm_setup.h"
#include "support/tracelog.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <vector>

namespace {

qint64 RssKiB() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

struct Plain {
    QString name;
    qint64 mtime;
    qint64 size;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int files = argc > 1 ? std::max(1, atoi(argv[1])) : 10000;
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/Pige/");
    QDir().mkpath(folder);
    for (int k = 0; k < files; ++k) {
        const QDateTime t = QDateTime(QDate(2024, 1, 1), QTime(0, 0)).addSecs(qint64(k) * 3600);
        QFile f(folder + QStringLiteral("Pige Antenne ") + t.toString(QStringLiteral("yyyyMMdd_hh_mm_ss")) +
                QStringLiteral(".mp3"));
        f.open(QIODevice::WriteOnly);
    }
    InitGeneralGridHisto();
    EditRecorderConfig(0, [&](RecorderConfig& rc) { rc.RecordFolder = folder; });

    // Reference: names and one status read per file, kept in a vector.
    const qint64 rss0 = RssKiB();
    QElapsedTimer clock;
    clock.start();
    std::vector<Plain> plain;
    {
        const QStringList names = QDir(folder).entryList(QDir::Files, QDir::Name);
        plain.reserve(size_t(names.size()));
        for (const QString& n : names) {
            const QFileInfo info(folder + n);
            plain.push_back({n, info.lastModified().toMSecsSinceEpoch(), info.size()});
        }
    }
    const double plainMs = clock.nsecsElapsed() / 1e6;
    const qint64 plainKiB = RssKiB() - rss0;

    const qint64 rss1 = RssKiB();
    clock.restart();
    InitAffichageHisto(0);
    const double gridMs = clock.nsecsElapsed() / 1e6;
    const qint64 gridKiB = RssKiB() - rss1;

    // One new file, then the refresh a slice or the folder watch makes.
    QFile(folder + QStringLiteral("Pige Antenne 20990101_00_00_00.mp3")).open(QIODevice::WriteOnly);
    clock.restart();
    InitAffichageHisto(0);
    const double refreshMs = clock.nsecsElapsed() / 1e6;

    std::printf("history grid, %d files (%zu listed, %d in the grid)\n", files, plain.size(),
                MSFlexGridHisto(0).rowCount());
    std::printf("%-34s %10s %12s\n", "", "time ms", "memory KiB");
    std::printf("%-34s %10.1f %12lld\n", "plain listing + status (reference)", plainMs, plainKiB);
    std::printf("%-34s %10.1f %12lld\n", "grid filled (start-up)", gridMs, gridKiB);
    std::printf("%-34s %10.1f %12s\n", "grid refreshed after one new file", refreshMs, "-");
    std::printf("ratio grid / reference: time %.2f x\n", plainMs > 0 ? gridMs / plainMs : 0.0);
    std::printf("goal: at most 200 ms and 10 MiB (10240 KiB) for 10000 files: %s\n",
                (gridMs <= 200 && gridKiB <= 10240) ? "met" : "NOT met");
    return 0;
}
