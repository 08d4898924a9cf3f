#pragma once
// How many terminal columns printed text takes, so that table columns line
// up whatever the names: a wide East Asian character takes two, a combining
// mark none.

#include <cstddef>
#include <string_view>

namespace brevio::cli {

// The columns of `text` read as UTF-8. A byte that starts no character
// counts one (names are quoted before they are printed, so none is left).
std::size_t DisplayWidth(std::string_view text);

}  // namespace brevio::cli
