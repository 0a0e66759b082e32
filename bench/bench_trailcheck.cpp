// trail check on a large file: the time meravo-cli takes to hash it and look it up, against the time
// to read it alone (the disk's, or the page cache's, speed). Target: within 1.5 times the read alone.
// Usage: bench_trailcheck [MiB]  (default 2048)
#include "BenchSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const qint64 mib = argc > 1 ? std::atoll(argv[1]) : 2048;
    QTemporaryDir dir;
    qputenv("HOME", QFile::encodeName(dir.path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath(QStringLiteral("data"))));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath(QStringLiteral("config"))));
    const QString path = dir.filePath(QStringLiteral("large.bin"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        QByteArray block(1 << 20, Qt::Uninitialized);
        for (qsizetype i = 0; i < block.size(); ++i)
            block[i] = char(i * 131);
        for (qint64 i = 0; i < mib; ++i)
            if (file.write(block) != block.size())
                return 1;
    }
    QElapsedTimer timer;
    timer.start();
    {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
        std::vector<char> block(4 << 20);
        while (::read(fd, block.data(), block.size()) > 0) {
        }
        ::close(fd);
    }
    const double readSeconds = double(timer.nsecsElapsed()) / 1e9;
    timer.restart();
    QProcess check;
    check.start(QStringLiteral(MERAVO_BIN_DIR "/meravo-cli"),
                {QStringLiteral("trail"), QStringLiteral("check"), path});
    check.waitForFinished(-1);
    const double checkSeconds = double(timer.nsecsElapsed()) / 1e9;
    std::printf("file: %lld MiB\n", static_cast<long long>(mib));
    std::printf("read alone: %.2f s (%.0f MiB/s)\n", readSeconds, double(mib) / readSeconds);
    std::printf("trail check: %.2f s (%.0f MiB/s), exit %d (target: within 1.5 x the read alone)\n",
                checkSeconds, double(mib) / checkSeconds, check.exitCode());
    return 0;
}
