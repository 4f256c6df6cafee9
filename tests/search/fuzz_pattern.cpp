// libFuzzer target for pb::matchPattern.
//
// Input layout: the first byte picks where the rest is split into text and
// pattern. Each remaining byte becomes one UTF-16 code unit; bytes from 0x80
// up map to 0xFF80-0xFFFF so that code units far above ASCII (and above any
// signed 8-bit value) take part in ranges and comparisons.
//
// Besides "no crash, no sanitizer report", every input is checked against a
// slow but obviously correct reference matcher and a handful of properties
// that must hold for any text and pattern.

#include "search/Pattern.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

using pb::PatternResult;

void check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

// ---- Reference matcher ---------------------------------------------------
// Works straight on the pattern text: a table of reachable text positions
// per pattern position, filled left to right. Cubic, fine for short inputs.

// Finds the "]" closing the list opened at `open`, or npos.
std::size_t listEnd(std::u16string_view p, std::size_t open)
{
    std::size_t j = open + 1;
    if (j < p.size() && p[j] == u'!')
        ++j;
    for (; j < p.size(); ++j)
        if (p[j] == u']')
            return j;
    return std::u16string_view::npos;
}

// Body of the list opened at `open` whose "]" is at `close`.
std::u16string_view listBody(std::u16string_view p, std::size_t open, std::size_t close)
{
    std::size_t from = open + 1;
    if (from < close && p[from] == u'!')
        ++from;
    return p.substr(from, close - from);
}

bool refValid(std::u16string_view p)
{
    for (std::size_t i = 0; i < p.size(); ++i) {
        if (p[i] != u'[')
            continue;
        const std::size_t close = listEnd(p, i);
        if (close == std::u16string_view::npos)
            return false;
        const std::u16string_view body = listBody(p, i, close);
        for (std::size_t k = 0; k < body.size(); ++k) {
            if (k + 2 < body.size() && body[k + 1] == u'-') {
                if (body[k] > body[k + 2])
                    return false;
                k += 2;
            }
        }
        i = close;
    }
    return true;
}

bool refInList(std::u16string_view body, char16_t c)
{
    for (std::size_t k = 0; k < body.size(); ++k) {
        if (k + 2 < body.size() && body[k + 1] == u'-') {
            if (body[k] <= c && c <= body[k + 2])
                return true;
            k += 2;
        } else if (body[k] == c) {
            return true;
        }
    }
    return false;
}

PatternResult refMatch(std::u16string_view text, std::u16string_view p)
{
    if (!refValid(p))
        return PatternResult::Invalid;

    const std::size_t n = text.size();
    // reach(i, t): pattern p[0, i) can consume exactly text[0, t).
    std::vector<unsigned char> table((p.size() + 1) * (n + 1), 0);
    auto reach = [&](std::size_t i, std::size_t t) -> unsigned char & { return table[i * (n + 1) + t]; };
    reach(0, 0) = 1;

    for (std::size_t i = 0; i < p.size();) {
        std::size_t next = i + 1;
        if (p[i] == u'*') {
            bool any = false;
            for (std::size_t t = 0; t <= n; ++t) {
                any = any || reach(i, t);
                if (any)
                    reach(next, t) = 1;
            }
        } else {
            std::u16string_view body;
            bool negated = false;
            if (p[i] == u'[') {
                const std::size_t close = listEnd(p, i);
                body = listBody(p, i, close);
                negated = p[i + 1] == u'!';
                next = close + 1;
            }
            for (std::size_t t = 0; t < n; ++t) {
                if (!reach(i, t))
                    continue;
                const char16_t c = text[t];
                bool ok = false;
                switch (p[i]) {
                case u'?': ok = true; break;
                case u'#': ok = c >= u'0' && c <= u'9'; break;
                case u'[': ok = refInList(body, c) != negated; break;
                default:   ok = c == p[i]; break;
                }
                if (ok)
                    reach(next, t + 1) = 1;
            }
        }
        i = next;
    }
    return reach(p.size(), n) ? PatternResult::Match : PatternResult::NoMatch;
}

// ---- Helpers for derived patterns ----------------------------------------

bool isWildcard(char16_t c)
{
    return c == u'?' || c == u'*' || c == u'#' || c == u'[';
}

// Pieces of a pattern that matches `text` and nothing else of its length:
// one piece per character, either a one-element list or, where `selector`
// says so, "?" (or "#" for digits). Characters that cannot sit alone in a
// list are written as they mean outside one: "]" and "!" are plain there,
// and "[-]" is a lone literal hyphen.
std::vector<std::u16string> matchingPieces(std::u16string_view text, std::uint32_t selector)
{
    std::vector<std::u16string> pieces;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        const unsigned choice = (selector >> ((i % 16) * 2)) & 3u;
        if (choice == 1)
            pieces.push_back(u"?");
        else if (choice == 2 && c >= u'0' && c <= u'9')
            pieces.push_back(u"#");
        else if (c == u']' || c == u'!')
            pieces.push_back(std::u16string(1, c));
        else
            pieces.push_back(u"[" + std::u16string(1, c) + u"]");
    }
    return pieces;
}

std::u16string widen(const std::uint8_t *data, std::size_t size)
{
    std::u16string s;
    s.reserve(size);
    for (std::size_t i = 0; i < size; ++i)
        s += data[i] < 0x80 ? char16_t(data[i]) : char16_t(0xFF00u | data[i]);
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::u16string all = widen(data + 1, size - 1);
    const std::size_t split = data[0] % (all.size() + 1);
    const std::u16string_view text = std::u16string_view(all).substr(0, split);
    const std::u16string_view pattern = std::u16string_view(all).substr(split);

    const PatternResult r = pb::matchPattern(text, pattern);

    // Same answer as the reference.
    check(r == refMatch(text, pattern));

    // Validity depends on the pattern alone.
    check((r == PatternResult::Invalid) == (pb::matchPattern(u"", pattern) == PatternResult::Invalid));

    // Without wildcards a pattern is just a string to compare with.
    bool plain = true;
    for (char16_t c : pattern)
        plain = plain && !isWildcard(c);
    if (plain)
        check(r == (text == pattern ? PatternResult::Match : PatternResult::NoMatch));

    // A leading or trailing star keeps every match and never changes validity.
    const std::u16string starFront = u"*" + std::u16string(pattern);
    const std::u16string starBack = std::u16string(pattern) + u"*";
    for (const std::u16string &widened : {starFront, starBack}) {
        const PatternResult w = pb::matchPattern(text, widened);
        check((w == PatternResult::Invalid) == (r == PatternResult::Invalid));
        if (r == PatternResult::Match)
            check(w == PatternResult::Match);
    }

    // A pattern built from the text itself must match it and reject it with
    // one character more. With a star between two pieces it must also match
    // the text with anything at all inserted at that point.
    std::uint32_t selector = 0;
    for (std::size_t i = 0; i < size && i < 4; ++i)
        selector |= std::uint32_t(data[i]) << (8 * i);
    const std::vector<std::u16string> pieces = matchingPieces(text, selector);
    const std::size_t gap = selector % (pieces.size() + 1);
    std::u16string own;
    std::u16string withStar;
    for (std::size_t i = 0; i <= pieces.size(); ++i) {
        if (i == gap)
            withStar += u'*';
        if (i < pieces.size()) {
            own += pieces[i];
            withStar += pieces[i];
        }
    }
    check(pb::matchPattern(text, own) == PatternResult::Match);
    check(pb::matchPattern(std::u16string(text) + u'x', own) == PatternResult::NoMatch);
    std::u16string stretched(text);
    stretched.insert(gap, pattern);
    check(pb::matchPattern(stretched, withStar) == PatternResult::Match);

    // For one character, a list and its negation disagree.
    if (text.size() == 1) {
        std::u16string body;
        for (char16_t c : pattern)
            if (c != u']')
                body += c;
        while (!body.empty() && body[0] == u'!')
            body.erase(0, 1);
        const PatternResult in = pb::matchPattern(text, u"[" + body + u"]");
        const PatternResult out = pb::matchPattern(text, u"[!" + body + u"]");
        if (in == PatternResult::Invalid)
            check(out == PatternResult::Invalid);
        else
            check(out != PatternResult::Invalid && out != in);
    }
    return 0;
}
