#pragma once

#include "protocol/Wire.h"

#include <QString>

namespace quillon::protocol {

// "%.3d.%.3d.%.3d.%.3d": 192.168.1.20 reads 192.168.001.020.
QString AddressText(const wire::Ipv4& address);

// The 18 name bytes decoded from UTF-8 as one block; the text ends at the first zero character,
// so a name that fills the field decodes in full. Invalid sequences become U+FFFD.
QString NameText(wire::Bytes nameField);

// A device's text as it may be shown: every control character, every format character
// (direction marks and overrides, zero-width characters, tags) and every line or paragraph
// separator becomes U+FFFD, so a name can neither break a layout nor read as another name.
QString DisplayableText(const QString& text);

} // namespace quillon::protocol
