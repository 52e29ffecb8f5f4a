// The titles of the netlists of an input: each netlist's first comment
// (its text inside the outermost braces, blanks and line ends collapsed to
// one blank), for the titles of plots and of the report.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velkor {

// One entry per netlist (each ended by `end`, in any letter case, outside
// comments; a last one without `end` counts when it has any entry or
// comment); empty for a netlist without a comment.
std::vector<std::string> netlistTitles(std::string_view input);

// The titles that are not empty, joined by "; ", cut to at most `limit`
// characters with "..." (at a blank where one is near); empty when there
// is none.
std::string joinedTitle(const std::vector<std::string>& titles, std::size_t limit = 100);

}  // namespace velkor
