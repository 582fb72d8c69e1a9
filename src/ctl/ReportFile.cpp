#include "ctl/ReportFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace quillon::ctl {

bool SameFile(const QString& path, const QString& other)
{
    struct stat first {};
    struct stat second {};
    return ::stat(QFile::encodeName(path).constData(), &first) == 0 &&
           ::stat(QFile::encodeName(other).constData(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

namespace {

// A name of one of the process's descriptors (/dev/stdout, /dev/fd/3, /proc/self/fd/3) stands
// for whatever the descriptor is open on, which is not to be replaced.
bool NamesADescriptor(const QString& path)
{
    for (const QString& name : {path, QFileInfo(path).symLinkTarget()})
        if (name.startsWith(QLatin1String("/proc/")) || name.startsWith(QLatin1String("/dev/fd/")))
            return true;
    return false;
}

} // namespace

ReportFile::~ReportFile()
{
    if (!temporary_.isEmpty())
        ::unlink(temporary_.constData());
}

bool ReportFile::Open(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat old {};
    const bool exists = ::stat(name.constData(), &old) == 0;
    if ((exists && !S_ISREG(old.st_mode)) || NamesADescriptor(path)) {
        fd_.Reset(::open(name.constData(), O_WRONLY | O_APPEND | O_CLOEXEC));
    } else {
        path_ = exists ? QFile::encodeName(QFileInfo(path).canonicalFilePath()) : name;
        for (int attempt = 0; attempt < 100 && !fd_.IsValid(); ++attempt) {
            temporary_ = path_ + ".tmp-" + QByteArray::number(QRandomGenerator::global()->generate(), 36);
            fd_.Reset(::open(temporary_.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
            if (!fd_.IsValid() && errno != EEXIST)
                break;
        }
        if (!fd_.IsValid())
            temporary_.clear();
        else if (exists)
            (void)::fchmod(fd_.Get(), old.st_mode & 07777);
    }
    if (!fd_.IsValid()) {
        std::fprintf(stderr, "quillonctl: %s: %s\n", name.constData(), std::strerror(errno));
        return false;
    }
    output_ = DataOutput(fd_.Get(), "the report " + name);
    return true;
}

void ReportFile::Commit()
{
    if (temporary_.isEmpty())
        return;
    if (::fsync(fd_.Get()) != 0 || ::rename(temporary_.constData(), path_.constData()) != 0)
        std::fprintf(stderr, "quillonctl: %s: %s; the report is in %s\n", path_.constData(), std::strerror(errno),
                     temporary_.constData());
    temporary_.clear();
}

} // namespace quillon::ctl
