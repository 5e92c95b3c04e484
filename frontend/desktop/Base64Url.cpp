// Base64Url.cpp - base64url without padding, decoded strictly: a link has
// one spelling, and anything else is a damaged link, not a variant.
#include "Base64Url.h"

#include <cstdio>

namespace {

// The character's 6-bit value, or -1 outside the alphabet.
int sextet(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '-') return 62;
    if (c == '_') return 63;
    return -1;
}

}  // namespace

bool decodeBase64Url(const std::string& text, std::string& bytes, std::string& error) {
    bytes.clear();
    bytes.reserve(text.size() / 4 * 3 + 2);
    unsigned bits = 0;
    int held = 0;  // bits waiting in `bits`
    for (std::size_t k = 0; k < text.size(); ++k) {
        const unsigned char c = static_cast<unsigned char>(text[k]);
        const int value = sextet(c);
        if (value < 0) {
            if (c == '=') {
                error = "it has '=' padding, which links leave out";
            } else {
                char shown[8];
                if (c > ' ' && c < 0x7f)
                    std::snprintf(shown, sizeof shown, "'%c'", c);
                else
                    std::snprintf(shown, sizeof shown, "0x%02x", c);
                error = std::string("character ") + shown + " at position " + std::to_string(k + 1) +
                        " is not base64url";
            }
            return false;
        }
        bits = (bits << 6) | static_cast<unsigned>(value);
        held += 6;
        if (held >= 8) {
            held -= 8;
            bytes.push_back(static_cast<char>((bits >> held) & 0xffu));
            bits &= (1u << held) - 1u;
        }
    }
    if (text.size() % 4 == 1) {
        error = "its length leaves a lone character, which no base64url text has";
        return false;
    }
    if (bits != 0) {
        error = "its last character has bits set beyond the data";
        return false;
    }
    return true;
}
