#include "ctl/Common.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace quillon::ctl {

void KeepNamedCards(std::vector<commands::ListedDevice>& devices, const std::vector<unsigned>& named)
{
    if (!named.empty())
        std::erase_if(devices, [&](const commands::ListedDevice& device) {
            return std::find(named.begin(), named.end(), device.cardIndex) == named.end();
        });
}

std::optional<std::vector<unsigned>> NamedCards(const std::vector<std::string>& names,
                                                const std::vector<platform::BroadcastInterface>& cards)
{
    std::vector<unsigned> indexes;
    for (const std::string& name : names) {
        const auto card = std::find_if(cards.begin(), cards.end(),
                                       [&](const platform::BroadcastInterface& c) { return c.name == name; });
        if (card == cards.end()) {
            std::fprintf(stderr, "quillonctl: no network card '%s' that is up and has an IPv4 address\n",
                         name.c_str());
            return std::nullopt;
        }
        indexes.push_back(card->index);
    }
    return indexes;
}

bool WriteAll(int fd, const QByteArray& data)
{
    const char* next = data.constData();
    std::size_t left = static_cast<std::size_t>(data.size());
    while (left > 0) {
        const ssize_t written = ::write(fd, next, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        next += written;
        left -= static_cast<std::size_t>(written);
    }
    return true;
}

std::optional<std::vector<unsigned>> SearchOnlyThrough(const std::vector<std::string>& names,
                                                       const std::vector<platform::BroadcastInterface>& cards)
{
    std::optional<std::vector<unsigned>> named = NamedCards(names, cards);
    if (named)
        platform::SetBroadcastInterfaceNames(names);
    return named;
}

} // namespace quillon::ctl
