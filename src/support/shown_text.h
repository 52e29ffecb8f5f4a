// User text echoed in a message (a values line, an option's argument, an
// element name): made safe for a terminal and short enough for one line.
// Control characters, bytes that are not UTF-8 and the C1 controls are
// shown as escapes (\t, \n, \r, \xHH, \u0085), so that no escape sequence
// reaches the terminal; text longer than a limit is cut after that many
// characters and ends with "...".
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velkor {

// The longest echo, in characters (not counting the "..." of a cut one).
constexpr std::size_t kShownTextLimit = 80;

std::string shownText(std::string_view text, std::size_t limit = kShownTextLimit);

}  // namespace velkor
