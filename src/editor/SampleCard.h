#pragma once

#include "sheet/CardFields.h"

#include <array>

// What "Load Sample Data" types into the ten fields, and what an empty store
// gives the card.
namespace CardFields {

struct Field
{
    char letter;
    const char *sample;
};

inline constexpr std::array<Field, 10> fields{{
    {'a', "Darnovi"},
    {'b', "Cards that open doors"},
    {'c', "1200 Harbor Street"},
    {'d', "Springfield, IL 62704"},
    {'e', " "},
    {'f', " "},
    {'g', " "},
    {'h', "support@darnovi.example"},
    {'i', "217-555-0142"},
    {'j', "https://www.darnovi.example"},
}};

// What an empty store gives fields a and j.
inline constexpr auto defaultCompany = "Darnovi";
inline constexpr auto defaultWebsite = "www.darnovi.example";

} // namespace CardFields
