// Device names both ways: 18 wire bytes to the list's text, and any text to the 18 bytes Submit
// sends, which must be whole UTF-8 characters that read back as a prefix of the text.
#include "protocol/DeviceTexts.h"

#include <QString>

#include <algorithm>
#include <array>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace quillon;
    std::array<std::uint8_t, protocol::kNameSize> field{};
    std::copy_n(data, std::min(size, field.size()), field.begin());
    const QString shown = protocol::NameText(field);
    if (shown.contains(QChar(u'\0')))
        __builtin_trap();

    const QString typed = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const protocol::NameBytes sent = protocol::EncodeDeviceName(typed);
    const QString readBack = protocol::NameText(sent);
    if (!typed.startsWith(readBack) && !typed.contains(QChar(u'\0')))
        __builtin_trap();
    if (readBack.toUtf8().size() > static_cast<qsizetype>(protocol::kNameSize))
        __builtin_trap();
    return 0;
}
