#include <cstring>

#include "cmdfile/lexer.h"

namespace khex {

// Sorted in byte order (strcmp), so upper-case spellings come first; searched by
// binary search. A unit test checks the order.
const Keyword keyword_table[] = {
    {"BOOT", TOK_BOOT, false},
    {"DATAWIDTH", TOK_DATAWIDTH, false},
    {"DWIDTH", TOK_DATAWIDTH, false},
    {"FILES", TOK_FILES, false},
    {"FILL", TOK_FILL, false},
    {"LENGTH", TOK_LENGTH, false},
    {"MEMWIDTH", TOK_MEMWIDTH, false},
    {"MWIDTH", TOK_MEMWIDTH, false},
    {"ORIGIN", TOK_ORIGIN, false},
    {"PADDR", TOK_PADDR, false},
    {"PAGE", TOK_PAGE, false},
    {"ROMS", TOK_ROMS, true},
    {"ROMWIDTH", TOK_ROMWIDTH, false},
    {"SECTIONS", TOK_SECTIONS, true},
    {"WIDTH", TOK_ROMWIDTH, false},
    {"boot", TOK_BOOT, false},
    {"datawidth", TOK_DATAWIDTH, false},
    {"dw", TOK_DATAWIDTH, false},
    {"dwidth", TOK_DATAWIDTH, false},
    {"f", TOK_FILL, false},
    {"files", TOK_FILES, false},
    {"fill", TOK_FILL, false},
    {"l", TOK_LENGTH, false},
    {"len", TOK_LENGTH, false},
    {"length", TOK_LENGTH, false},
    {"memwidth", TOK_MEMWIDTH, false},
    {"mw", TOK_MEMWIDTH, false},
    {"mwidth", TOK_MEMWIDTH, false},
    {"o", TOK_ORIGIN, false},
    {"org", TOK_ORIGIN, false},
    {"origin", TOK_ORIGIN, false},
    {"paddr", TOK_PADDR, false},
    {"page", TOK_PAGE, false},
    {"romwidth", TOK_ROMWIDTH, false},
    {"w", TOK_ROMWIDTH, false},
    {"width", TOK_ROMWIDTH, false},
};
const size_t keyword_count = sizeof keyword_table / sizeof keyword_table[0];

const Keyword* find_keyword(const char* word, bool directive_mode)
{
    size_t low = 0;
    size_t high = keyword_count;
    while (low < high) {
        size_t middle = (low + high) / 2;
        int order = std::strcmp(word, keyword_table[middle].word);
        if (order == 0) {
            const Keyword* keyword = &keyword_table[middle];
            return keyword->always || directive_mode ? keyword : nullptr;
        }
        if (order < 0)
            high = middle;
        else
            low = middle + 1;
    }
    return nullptr;
}

}  // namespace khex
