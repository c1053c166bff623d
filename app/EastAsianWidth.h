#pragma once

/// Display width of a character: 2 for East Asian Wide and Fullwidth characters, 1 for all others.
namespace EastAsianWidth {

int Width(char32_t c);

} // namespace EastAsianWidth
