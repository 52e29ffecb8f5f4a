#include "input/netlist_titles.h"

#include <cctype>

namespace velkor {

namespace {

bool separator(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == ',' || c == ';' || c == '\f' || c == '\v';
}

bool isEnd(const std::string& word) {
  if (word.size() != 3) return false;
  return std::tolower(static_cast<unsigned char>(word[0])) == 'e' &&
         std::tolower(static_cast<unsigned char>(word[1])) == 'n' &&
         std::tolower(static_cast<unsigned char>(word[2])) == 'd';
}

}  // namespace

std::vector<std::string> netlistTitles(std::string_view input) {
  std::vector<std::string> titles;
  std::string title, comment, word;
  bool started = false, haveTitle = false;
  std::size_t depth = 0;
  auto endWord = [&] {
    if (word.empty()) return;
    started = true;
    if (isEnd(word)) {
      titles.push_back(title);
      title.clear();
      haveTitle = false;
      started = false;
    }
    word.clear();
  };
  for (char c : input) {
    if (c == '{') {
      endWord();
      if (depth++ > 0) comment += c;
      continue;
    }
    if (depth > 0) {
      if (c == '}' && --depth == 0) {
        if (!haveTitle) {
          // Blanks and line ends collapsed, ends trimmed.
          std::string text;
          for (char d : comment) {
            bool blank = std::isspace(static_cast<unsigned char>(d)) != 0;
            if (blank && (text.empty() || text.back() == ' ')) continue;
            text += blank ? ' ' : d;
          }
          while (!text.empty() && text.back() == ' ') text.pop_back();
          title = text;
          haveTitle = !title.empty();
        }
        started = true;
        comment.clear();
      } else {
        comment += c;
      }
      continue;
    }
    if (separator(c))
      endWord();
    else
      word += c;
  }
  endWord();
  if (started) titles.push_back(title);
  return titles;
}

std::string joinedTitle(const std::vector<std::string>& titles, std::size_t limit) {
  std::string joined;
  for (const std::string& title : titles) {
    if (title.empty()) continue;
    if (!joined.empty()) joined += "; ";
    joined += title;
  }
  if (joined.size() <= limit) return joined;
  const std::size_t room = limit > 3 ? limit - 3 : 0;  // for the "..."
  std::size_t cut = joined.rfind(' ', room);
  if (cut == std::string::npos || cut < room / 2) cut = room;
  // Not inside a UTF-8 sequence.
  while (cut > 0 && (static_cast<unsigned char>(joined[cut]) & 0xC0) == 0x80) --cut;
  return joined.substr(0, cut) + "...";
}

}  // namespace velkor
