#include "search/Pattern.h"

#include <cstddef>
#include <vector>

namespace pb {
namespace {

// One element of a compiled pattern. Every kind except Star consumes exactly
// one character of the text, which is what makes the single-backtrack-point
// matcher below exact.
struct Token {
    enum class Kind { Literal, AnyChar, Digit, Set, Star };

    Kind kind;
    char16_t ch = 0;         // Literal
    std::size_t first = 0;   // Set: index range into CompiledPattern::ranges
    std::size_t last = 0;
    bool negated = false;    // Set
};

struct CharRange {
    char16_t lo;
    char16_t hi;
};

struct CompiledPattern {
    std::vector<Token> tokens;
    std::vector<CharRange> ranges; // members of all bracket lists, back to back
};

// Parses the body of a bracket list (the text between "[" or "[!" and "]").
// Returns false on a descending range.
bool parseList(std::u16string_view list, std::vector<CharRange> &ranges)
{
    std::size_t k = 0;
    while (k < list.size()) {
        const char16_t lo = list[k];
        // "x-y" is a range; a "-" with nothing on one side is just itself.
        if (k + 2 < list.size() && list[k + 1] == u'-') {
            const char16_t hi = list[k + 2];
            if (hi < lo)
                return false;
            ranges.push_back({lo, hi});
            k += 3;
        } else {
            ranges.push_back({lo, lo});
            ++k;
        }
    }
    return true;
}

// Validates the whole pattern and turns it into tokens. Returns false if the
// pattern is malformed anywhere.
bool compile(std::u16string_view pattern, CompiledPattern &out)
{
    out.tokens.reserve(pattern.size());
    std::size_t i = 0;
    while (i < pattern.size()) {
        const char16_t c = pattern[i];
        switch (c) {
        case u'?':
            out.tokens.push_back({Token::Kind::AnyChar});
            ++i;
            break;
        case u'#':
            out.tokens.push_back({Token::Kind::Digit});
            ++i;
            break;
        case u'*':
            // A run of stars means the same as one.
            if (out.tokens.empty() || out.tokens.back().kind != Token::Kind::Star)
                out.tokens.push_back({Token::Kind::Star});
            ++i;
            break;
        case u'[': {
            std::size_t body = i + 1;
            bool negated = false;
            if (body < pattern.size() && pattern[body] == u'!') {
                negated = true;
                ++body;
            }
            const std::size_t close = pattern.find(u']', body);
            if (close == std::u16string_view::npos)
                return false;
            Token t{Token::Kind::Set};
            t.negated = negated;
            t.first = out.ranges.size();
            if (!parseList(pattern.substr(body, close - body), out.ranges))
                return false;
            t.last = out.ranges.size();
            out.tokens.push_back(t);
            i = close + 1;
            break;
        }
        default: {
            Token t{Token::Kind::Literal};
            t.ch = c;
            out.tokens.push_back(t);
            ++i;
            break;
        }
        }
    }
    return true;
}

bool matchesOne(const CompiledPattern &p, const Token &t, char16_t c)
{
    switch (t.kind) {
    case Token::Kind::Literal:
        return c == t.ch;
    case Token::Kind::AnyChar:
        return true;
    case Token::Kind::Digit:
        return c >= u'0' && c <= u'9';
    case Token::Kind::Set: {
        bool inList = false;
        for (std::size_t r = t.first; r < t.last && !inList; ++r)
            inList = c >= p.ranges[r].lo && c <= p.ranges[r].hi;
        return inList != t.negated;
    }
    case Token::Kind::Star:
        break;
    }
    return false;
}

} // namespace

PatternResult matchPattern(std::u16string_view text, std::u16string_view pattern)
{
    CompiledPattern p;
    if (!compile(pattern, p))
        return PatternResult::Invalid;

    const std::vector<Token> &tokens = p.tokens;
    constexpr std::size_t none = static_cast<std::size_t>(-1);

    // Greedy match remembering only the most recent star. When a later
    // token fails, let that star swallow one more character and retry from
    // just after it. Earlier stars never need revisiting: anything they could
    // absorb, the latest star can absorb too.
    std::size_t ti = 0;
    std::size_t pi = 0;
    std::size_t starToken = none;
    std::size_t starText = 0;

    while (ti < text.size()) {
        if (pi < tokens.size() && tokens[pi].kind == Token::Kind::Star) {
            starToken = pi++;
            starText = ti;
        } else if (pi < tokens.size() && matchesOne(p, tokens[pi], text[ti])) {
            ++pi;
            ++ti;
        } else if (starToken != none) {
            pi = starToken + 1;
            ti = ++starText;
        } else {
            return PatternResult::NoMatch;
        }
    }
    while (pi < tokens.size() && tokens[pi].kind == Token::Kind::Star)
        ++pi;
    return pi == tokens.size() ? PatternResult::Match : PatternResult::NoMatch;
}

} // namespace pb
