#pragma once

#include <QChar>
#include <array>

// The ten card fields a to j, in tab order. Each has a preview label named
// with its letter and "1", a caption label, and a settings key equal to its
// letter.
namespace CardFields {

struct Field
{
    char letter;
    const char *captionLabel;
    const char *sample;
};

inline constexpr std::array<Field, 10> fields{{
    {'a', "Label3", "Darnovi"},
    {'b', "Label4", "Cards that open doors"},
    {'c', "Label5", "1200 Harbor Street"},
    {'d', "Label6", "Springfield, IL 62704"},
    {'e', "Label13", " "},
    {'f', "Label12", " "},
    {'g', "Label14", " "},
    {'h', "Label7", "support@darnovi.example"},
    {'i', "Label8", "217-555-0142"},
    {'j', "Label9", "https://www.darnovi.example"},
}};

inline QString key(char letter) { return QString(QLatin1Char(letter)); }
inline QString previewLabel(char letter) { return QString(QLatin1Char(letter)) + QLatin1Char('1'); }

// What an empty store gives fields a and j.
inline constexpr auto defaultCompany = "Darnovi";
inline constexpr auto defaultWebsite = "www.darnovi.example";
// The maker's site, opened now and then at start-up.
inline constexpr auto makerSite = "https://www.darnovi.example/";

} // namespace CardFields
