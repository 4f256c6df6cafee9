#pragma once

#include <string_view>

namespace pb {

enum class PatternResult { NoMatch, Match, Invalid };

// Does `text`, taken whole, match `pattern`? Only the pattern carries
// wildcards:
//   ?        any one character
//   *        any run of characters, including none
//   #        any one digit 0-9
//   [list]   any one character in the list; [!list] any one not in it.
//            Inside a list "a-z" is an inclusive range by character code,
//            ? * # stand for themselves, a leading or trailing "-" and any
//            "!" other than the negation mark are literal. The list ends at
//            the first "]", so "[]" matches nothing and "[!]" matches any
//            one character.
// A "]" outside a list is an ordinary character; everything else matches
// only itself, case-sensitively. A "character" is one UTF-16 code unit.
//
// The whole pattern is checked before any matching: an unclosed "[" or a
// descending range such as "[z-a]" anywhere yields Invalid.
//
// Runs in O(text.size() * pattern.size()) time without recursion.
PatternResult matchPattern(std::u16string_view text, std::u16string_view pattern);

} // namespace pb
