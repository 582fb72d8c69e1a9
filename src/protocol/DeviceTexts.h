#pragma once

#include "protocol/Protocol.h"
#include "protocol/Wire.h"

#include <QString>

#include <optional>

namespace quillon::protocol {

// The texts of a device's addresses and name, read and written in one place.

// "%.3d.%.3d.%.3d.%.3d": 192.168.1.20 reads 192.168.001.020, as the device list shows it.
QString AddressText(const wire::Ipv4& address);
// "192.168.1.20": plain dotted decimal, never zero-padded.
QString DottedDecimal(const wire::Ipv4& address);
// "192.168.1.50": four decimal numbers of 0 to 255, nothing else.
std::optional<wire::Ipv4> ParseIpv4(const QString& text);

// "00:1a:2b:3c:4d:5e".
QString MacText(const wire::MacAddress& mac);
// "00:1a:2b:3c:4d:5e" or "00-1A-2B-3C-4D-5E".
std::optional<wire::MacAddress> ParseMac(const QString& text);

// The name as UTF-8, as many whole characters as fit in 18 bytes, zero-padded.
NameBytes EncodeDeviceName(const QString& name);
// True when both hold the same name: the bytes up to the first zero byte.
bool SameName(const NameBytes& a, const NameBytes& b);

// The 18 name bytes decoded from UTF-8 as one block; the text ends at the first zero character,
// so a name that fills the field decodes in full. Invalid sequences become U+FFFD.
QString NameText(wire::Bytes nameField);

// A device's text as it may be shown: every control character, every format character
// (direction marks and overrides, zero-width characters, tags) and every line or paragraph
// separator becomes U+FFFD, so a name can neither break a layout nor read as another name.
QString DisplayableText(const QString& text);

} // namespace quillon::protocol
