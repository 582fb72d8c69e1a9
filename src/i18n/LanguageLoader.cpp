#include "i18n/LanguageLoader.h"

#include "i18n/ProfileFile.h"

#include <QDir>
#include <QFileInfo>

namespace quillon::i18n {

namespace {

constexpr qsizetype kDirectoryBufferSize = 500; // longer current directories are not searched
constexpr qsizetype kLongestText = 299;

// The controls set from the table, in this order.
constexpr TextId kControlTexts[] = {
    TextId::DeviceLists, TextId::Static, TextId::Dhcp, TextId::Name, TextId::Ip, TextId::Netmask,
    TextId::Gateway, TextId::Dns1, TextId::Dns2, TextId::Port1, TextId::Mac, TextId::SearchDevice,
    TextId::Submit, TextId::Exit,
};

constexpr TextId kHelpLines[] = {
    TextId::HelpTitle, TextId::HelpStep1, TextId::HelpStep2, TextId::HelpStep3, TextId::HelpStep4, TextId::HelpStep5,
};

// Language files come from a desktop whose file names ignore case, so LANGUAGE_JP.INI copied
// from there counts too; the exact name wins when several names match.
QString FindLanguageFile(const QString& directory)
{
    const QString exact = directory + u'/' + kLanguageFileName;
    if (QFileInfo::exists(exact))
        return exact;
    const QStringList matches = QDir(directory).entryList(
        {kLanguageFileName}, QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    return matches.isEmpty() ? exact : directory + u'/' + matches.first();
}

} // namespace

void LanguageLoader::ApplyLanguage()
{
    const QString directory = QDir::currentPath();
    if (directory.isEmpty() || directory.size() >= kDirectoryBufferSize)
        return;
    filePath_ = FindLanguageFile(directory);
    const std::optional<ProfileFile> file = ProfileFile::Load(filePath_);
    if (!file)
        return;
    for (std::size_t i = 0; i < kTextCount; ++i)
        ReadText(*file, static_cast<TextId>(i));
    SetControls();
}

void LanguageLoader::ReadText(const ProfileFile& file, TextId id)
{
    const std::optional<QString> value = file.Value(kLanguageSection, InterfaceTexts::Key(id));
    if (value && !value->isEmpty())
        texts_.Replace(id, value->left(kLongestText));
}

void LanguageLoader::SetControls()
{
    for (TextId id : kControlTexts)
        window_.SetControlText(id, texts_.Text(id));
    QStringList lines;
    for (TextId id : kHelpLines)
        lines << texts_.Text(id);
    window_.SetHelpText(lines.join(u'\n'));
}

} // namespace quillon::i18n
