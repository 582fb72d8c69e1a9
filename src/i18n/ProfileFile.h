#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace quillon::i18n {

// Text as language files come: UTF-8 with or without BOM, UTF-16 LE or BE with BOM, and when
// the bytes are not valid UTF-8, the Japanese legacy code page (Shift-JIS, CP932).
QString DecodeLanguageFileBytes(const QByteArray& bytes);

// An INI ("private profile") file read the way such files are read on the desktop they come
// from: section and key names match without regard to case, blanks around names and values are
// trimmed, one pair of enclosing quotes is removed, the first matching section and the first
// matching key in it win, and lines starting with ';' are comments.
class ProfileFile {
public:
    // Larger files are not language files; they are not read at all.
    static constexpr qint64 kMaximumSize = 1 << 20;

    // Nothing unless `path` opens as a regular file of at most kMaximumSize bytes.
    static std::optional<ProfileFile> Load(const QString& path);
    static ProfileFile Parse(const QString& text);

    // The value, or nothing when the section or the key is missing.
    std::optional<QString> Value(const QString& section, const QString& key) const;

private:
    struct Entry {
        QString key;
        QString value;
    };
    struct Section {
        QString name;
        std::vector<Entry> entries;
    };
    std::vector<Section> sections_;
};

} // namespace quillon::i18n
