#include "input/spice_lexer.h"

#include <cctype>

namespace velkor {

namespace {

char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }
bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v' || c == ','; }

std::string where(const std::string& fileName, int line, int column) {
  return fileName + ":" + std::to_string(line) + ":" + std::to_string(column);
}

// Appends the words of one physical line (from `begin`) to `card`.
void splitLine(std::string_view line, std::size_t begin, int file, int lineNumber, const std::string& fileName,
               DeckCard& card) {
  std::size_t at = begin;
  // Columns count characters, not the bytes that continue a UTF-8 sequence.
  auto columnOf = [&line](std::size_t index) {
    int column = 1;
    for (std::size_t k = 0; k < index; ++k)
      if ((static_cast<unsigned char>(line[k]) & 0xc0) != 0x80) ++column;
    return column;
  };
  while (at < line.size()) {
    const char c = line[at];
    if (blank(c)) {
      ++at;
      continue;
    }
    if (c == ';' || (c == '$' && (at == 0 || blank(line[at - 1])))) break;
    DeckToken token;
    token.at = DeckPlace{file, lineNumber, columnOf(at)};
    if (c == '=' || c == '(' || c == ')') {
      token.text = token.raw = std::string(1, c);
      ++at;
    } else if (c == '{' || c == '\'') {
      // An expression: up to the matching brace or quote, blanks included.
      const char close = c == '{' ? '}' : '\'';
      int depth = 0;
      std::size_t end = at;
      for (; end < line.size(); ++end) {
        if (c == '{' && line[end] == '{') ++depth;
        if (line[end] == close && (c == '{' ? --depth == 0 : end > at)) break;
      }
      if (end >= line.size())
        throw DeckError(where(fileName, lineNumber, token.at.column),
                        std::string("expected '") + close + "' to close the expression opened here");
      token.raw = std::string(line.substr(at, end + 1 - at));
      token.text = "{" + token.raw.substr(1, token.raw.size() - 2) + "}";
      for (char& ch : token.text) ch = lower(ch);
      at = end + 1;
    } else if (c == '"') {
      std::size_t end = line.find('"', at + 1);
      if (end == std::string_view::npos)
        throw DeckError(where(fileName, lineNumber, token.at.column), "expected '\"' to close the quoted name");
      token.raw = std::string(line.substr(at + 1, end - at - 1));
      token.text = token.raw;
      for (char& ch : token.text) ch = lower(ch);
      at = end + 1;
    } else {
      std::size_t end = at;
      while (end < line.size() && !blank(line[end]) && line[end] != '=' && line[end] != '(' && line[end] != ')' &&
             line[end] != ';' && line[end] != '{' && line[end] != '\'')
        ++end;
      token.raw = std::string(line.substr(at, end - at));
      token.text = token.raw;
      for (char& ch : token.text) ch = lower(ch);
      at = end;
    }
    card.tokens.push_back(std::move(token));
  }
}

}  // namespace

std::vector<DeckCard> splitDeck(std::string_view text, int file, const std::string& fileName, std::string* title) {
  std::vector<DeckCard> cards;
  std::size_t at = 0;
  int lineNumber = 0;
  bool titleTaken = title == nullptr;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(at, end - at);
    at = end + 1;
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!titleTaken) {
      titleTaken = true;
      *title = std::string(line);
      continue;
    }
    std::size_t first = 0;
    while (first < line.size() && blank(line[first])) ++first;
    if (first == line.size() || line[first] == '*') continue;
    if (line[first] == '+') {
      if (cards.empty())
        throw DeckError(where(fileName, lineNumber, static_cast<int>(first) + 1),
                        "expected an element or a dot card before this continuation line");
      splitLine(line, first + 1, file, lineNumber, fileName, cards.back());
      continue;
    }
    DeckCard card;
    card.at = DeckPlace{file, lineNumber, static_cast<int>(first) + 1};
    splitLine(line, first, file, lineNumber, fileName, card);
    if (!card.tokens.empty()) cards.push_back(std::move(card));
  }
  return cards;
}

}  // namespace velkor
