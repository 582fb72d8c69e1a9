#pragma once

#include <QString>

#include <array>
#include <cstddef>

namespace quillon::i18n {

// The window's texts a translator may change, in the order a language file is read.
enum class TextId : std::size_t {
    DeviceLists, ServerName, IpAddress, Static, Dhcp, Name, Ip, Netmask, Gateway, Dns1, Dns2, Port1,
    Mac, SearchDevice, Submit, Exit, HelpTitle, HelpStep1, HelpStep2, HelpStep3, HelpStep4, HelpStep5,
    NoMatchQuestion,
};
inline constexpr std::size_t kTextCount = 23;

// The table of interface texts: English defaults, replaced at most once from a language file.
class InterfaceTexts {
public:
    InterfaceTexts();

    const QString& Text(TextId id) const { return texts_[static_cast<std::size_t>(id)]; }
    void Replace(TextId id, const QString& text) { texts_[static_cast<std::size_t>(id)] = text; }

    static QString EnglishDefault(TextId id);
    // The key in a language file: the English default with every space made an underscore.
    static QString Key(TextId id);

private:
    std::array<QString, kTextCount> texts_;
};

} // namespace quillon::i18n
