#pragma once

#include "ctl/Common.h"
#include "platform/UniqueFd.h"

#include <QByteArray>
#include <QString>

namespace quillon::ctl {

// True when both paths name one existing file, through links or not.
bool SameFile(const QString& path, const QString& other);

// The report of `apply`, written through a line at a time. A regular file, or one that does
// not exist yet, is written beside itself under a temporary name and takes the old one's place
// (through a link, the file it names) only on Commit: until then the old report stays whole.
// A FIFO, a terminal, a device or a descriptor's name (/dev/stdout) has nothing to replace and
// is written directly.
class ReportFile {
public:
    ReportFile() = default;
    ~ReportFile(); // drops the temporary file unless it was committed
    ReportFile(const ReportFile&) = delete;
    ReportFile& operator=(const ReportFile&) = delete;

    // False, with a message, when the report cannot be written there.
    bool Open(const QString& path);
    bool IsOpen() const { return fd_.IsValid(); }
    // False, told once, when this write or an earlier one failed.
    bool Write(const QByteArray& line) { return output_.Write(line); }
    bool Failed() const { return output_.Failed(); }
    // Puts what was written in place of the old report; when that fails, says so and where
    // what was written is kept.
    void Commit();

private:
    platform::UniqueFd fd_;
    DataOutput output_{-1};
    QByteArray path_;      // the file replaced
    QByteArray temporary_; // empty: written directly, or committed
};

} // namespace quillon::ctl
