#include "i18n/ProfileFile.h"

#include "platform/UniqueFd.h"

#include <QFile>
#include <QStringDecoder>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon::i18n {

namespace {

bool StartsWith(const QByteArray& bytes, std::initializer_list<unsigned char> prefix)
{
    if (bytes.size() < static_cast<qsizetype>(prefix.size()))
        return false;
    qsizetype i = 0;
    for (unsigned char byte : prefix)
        if (static_cast<unsigned char>(bytes[i++]) != byte)
            return false;
    return true;
}

QString Decode(QStringConverter::Encoding encoding, QByteArrayView bytes)
{
    QStringDecoder decoder(encoding);
    return decoder(bytes);
}

QString Unquoted(QString value)
{
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front())
        return value.mid(1, value.size() - 2);
    return value;
}

} // namespace

QString DecodeLanguageFileBytes(const QByteArray& bytes)
{
    if (StartsWith(bytes, {0xEF, 0xBB, 0xBF}))
        return Decode(QStringConverter::Utf8, QByteArrayView(bytes).sliced(3));
    if (StartsWith(bytes, {0xFF, 0xFE}))
        return Decode(QStringConverter::Utf16LE, QByteArrayView(bytes).sliced(2));
    if (StartsWith(bytes, {0xFE, 0xFF}))
        return Decode(QStringConverter::Utf16BE, QByteArrayView(bytes).sliced(2));

    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    QStringDecoder shiftJis("Shift_JIS");
    return shiftJis.isValid() ? shiftJis(bytes) : text;
}

std::optional<ProfileFile> ProfileFile::Load(const QString& path)
{
    // Opened without blocking and judged by what was opened, not by its name: a FIFO, a terminal
    // or a link to a pipe would otherwise hold the window's start-up for good.
    const platform::UniqueFd file(
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat status {};
    if (!file.IsValid() || ::fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_size > kMaximumSize)
        return std::nullopt;
    QByteArray bytes(kMaximumSize + 1, Qt::Uninitialized);
    qsizetype length = 0;
    while (length < bytes.size()) {
        const ssize_t got = ::read(file.Get(), bytes.data() + length, static_cast<std::size_t>(bytes.size() - length));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            break;
        length += got;
    }
    if (length > kMaximumSize)
        return std::nullopt; // a file that grew meanwhile
    bytes.truncate(length);
    return Parse(DecodeLanguageFileBytes(bytes));
}

ProfileFile ProfileFile::Parse(const QString& text)
{
    ProfileFile profile;
    Section* current = nullptr;
    for (QStringView line : QStringView(text).split(u'\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.front() == u';')
            continue;
        if (line.front() == u'[') {
            const qsizetype close = line.indexOf(u']');
            const QString name = line.mid(1, close < 0 ? -1 : close - 1).trimmed().toString();
            profile.sections_.push_back({name, {}});
            current = &profile.sections_.back();
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (current == nullptr || equals < 0)
            continue;
        current->entries.push_back({line.left(equals).trimmed().toString(),
                                    Unquoted(line.mid(equals + 1).trimmed().toString())});
    }
    return profile;
}

std::optional<QString> ProfileFile::Value(const QString& section, const QString& key) const
{
    for (const Section& candidate : sections_) {
        if (candidate.name.compare(section, Qt::CaseInsensitive) != 0)
            continue;
        for (const Entry& entry : candidate.entries)
            if (entry.key.compare(key, Qt::CaseInsensitive) == 0)
                return entry.value;
        return std::nullopt; // only the first section of that name counts
    }
    return std::nullopt;
}

} // namespace quillon::i18n
