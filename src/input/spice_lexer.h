// The words of a circuit deck: comment lines and comment tails left out,
// continuation lines joined, names and keywords in lower case.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "input/deck_circuit.h"

namespace velkor {

struct DeckToken {
  std::string text;  // lower case; an expression in braces or quotes keeps its braces
  std::string raw;   // as written (file names keep their case)
  DeckPlace at;
};

// One logical line: an element or a dot card with its continuation lines.
struct DeckCard {
  std::vector<DeckToken> tokens;
  DeckPlace at;
};

// Splits the text of one file into cards. When `title` is given, the first
// line is the deck's title and is stored there. `=`, `(` and `)` are words
// of their own; blanks and commas separate words; `*` in the first column
// starts a comment line, `;` and a `$` after a blank a comment tail. An
// expression in braces or single quotes is one word. Throws DeckError for
// an expression left open (`fileName` names the file in the message).
std::vector<DeckCard> splitDeck(std::string_view text, int file, const std::string& fileName, std::string* title);

}  // namespace velkor
