// The text routines of the utility library: string literals, tolerant
// number reading and mask formatting, each fed any text.

#include "FuzzTargets.h"
#include "TextRoutines.h"

#include <cstring>

namespace Fuzz {

void ParseStringLiteral(const std::uint8_t* data, std::size_t size) {
    try {
        const QByteArray bytes = ::ParseStringLiteral(Text(data, size));
        // The literal never denotes more bytes than a 16-bit length can say.
        if (bytes.size() > 65535)
            __builtin_trap();
    } catch (const Exception&) {
    }
}

void ParseFloatText(const std::uint8_t* data, std::size_t size) {
    try {
        (void)::ParseFloatText(Text(data, size));
    } catch (const Exception&) {
    }
}

void ParseIntText(const std::uint8_t* data, std::size_t size) {
    try {
        (void)::ParseIntText(Text(data, size));
    } catch (const Exception&) {
    }
}

// The first eight bytes are the value (a double, as read from a field), the
// rest the mask.
void FormatByMask(const std::uint8_t* data, std::size_t size) {
    double value = 0;
    if (size >= sizeof value) {
        std::memcpy(&value, data, sizeof value);
        data += sizeof value;
        size -= sizeof value;
    }
    try {
        (void)::FormatByMask(Text(data, size), value);
    } catch (const Exception&) {
    }
}

} // namespace Fuzz
