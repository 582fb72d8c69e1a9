// Any bytes as a language file: encoding detection, INI parsing and every key's look-up.
#include "i18n/InterfaceTexts.h"
#include "i18n/LanguageLoader.h"
#include "i18n/ProfileFile.h"

#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace quillon::i18n;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const ProfileFile file = ProfileFile::Parse(DecodeLanguageFileBytes(bytes));
    for (std::size_t i = 0; i < kTextCount; ++i)
        if (const auto value = file.Value(kLanguageSection, InterfaceTexts::Key(static_cast<TextId>(i))))
            if (value->size() > 4 * static_cast<qsizetype>(size) + 4)
                __builtin_trap(); // a value can never be longer than the file
    return 0;
}
