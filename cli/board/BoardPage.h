// The live board's one page (HTML with its style and script inline: nothing is fetched from elsewhere),
// made from BoardPage.html when the program is built.
#pragma once

#include <cstddef>

extern const char BOARD_PAGE[];
extern const std::size_t BOARD_PAGE_SIZE;
