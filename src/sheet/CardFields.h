#pragma once

#include <QString>

#include <array>

// The ten card fields a to j, in tab order. Each has a preview label named
// with its letter and "1", and a settings key equal to its letter.
namespace CardFields {

inline constexpr std::array<char, 10> letters{'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j'};

inline QString key(char letter) { return QString(QLatin1Char(letter)); }
inline QString previewLabel(char letter) { return QString(QLatin1Char(letter)) + QLatin1Char('1'); }

} // namespace CardFields
