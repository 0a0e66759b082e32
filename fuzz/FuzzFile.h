#pragma once
// The readers that take a path get the input as a file of its own: one per process, rewritten for
// each input.
#include <QByteArray>
#include <QString>

#include <cstdio>
#include <cstdlib>

#include <unistd.h>

namespace Fuzz {

inline QString asFile(const QByteArray &bytes)
{
    static const QByteArray path = [] {
        QByteArray name = QByteArray(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/fuzz-XXXXXX";
        const int fd = ::mkstemp(name.data());
        if (fd >= 0)
            ::close(fd);
        std::atexit([] { ::unlink(path.constData()); });
        return name;
    }();
    if (std::FILE *file = std::fopen(path.constData(), "wb")) {
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), file);
        std::fclose(file);
    }
    return QString::fromLocal8Bit(path);
}

} // namespace Fuzz
