#pragma once

#include <string_view>

// What the full reader and the text scanner share, so that both read exactly the
// same control words and skip exactly the same groups.

namespace quillet {

// Destinations whose content is never text of the document.
bool isSkippedRtfDestination(std::string_view word);

// Control words are ASCII letters with an optional ASCII number, whatever the locale.
constexpr bool isRtfLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

constexpr bool isRtfDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace quillet
