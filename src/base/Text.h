// Text helpers for the program's UTF-8 byte strings: case-insensitive comparison that
// folds letters character by character and never splits a multibyte character (a byte
// that is not valid UTF-8 counts as a character of its own). Pure; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace gq {

// Decodes the character at text[*pos] and moves *pos past it. Invalid bytes come back
// as 0x110000 + byte, one at a time, so they never equal a real character.
uint32_t NextCharacter(std::string_view text, size_t* pos);

// The lower-case form of a character (Latin, Greek and Cyrillic letters).
uint32_t FoldCase(uint32_t character);

// <0, 0, >0 like strcmp, comparing folded characters.
int CompareNoCase(std::string_view a, std::string_view b);
bool EqualsNoCase(std::string_view a, std::string_view b);
bool EndsWithNoCase(std::string_view text, std::string_view suffix);

}  // namespace gq
