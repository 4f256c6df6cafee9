#include "search/Pattern.h"

#include <QString>
#include <QtTest>

Q_DECLARE_METATYPE(pb::PatternResult)

namespace pb {
// Lets QCOMPARE print readable values on failure (found by ADL).
char *toString(PatternResult r)
{
    switch (r) {
    case PatternResult::NoMatch: return qstrdup("NoMatch");
    case PatternResult::Match:   return qstrdup("Match");
    case PatternResult::Invalid: return qstrdup("Invalid");
    }
    return qstrdup("?");
}
} // namespace pb

namespace {

constexpr auto Match = pb::PatternResult::Match;
constexpr auto NoMatch = pb::PatternResult::NoMatch;
constexpr auto Invalid = pb::PatternResult::Invalid;

void columns()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<pb::PatternResult>("expected");
}

// Source is UTF-8, so non-ASCII cases can be written directly.
void row(const char *text, const char *pattern, pb::PatternResult expected)
{
    QTest::addRow("'%s' ~ '%s'", text, pattern)
        << QString::fromUtf8(text) << QString::fromUtf8(pattern) << expected;
}

} // namespace

class TestPattern : public QObject
{
    Q_OBJECT

private:
    void verifyRow()
    {
        QFETCH(QString, text);
        QFETCH(QString, pattern);
        QFETCH(pb::PatternResult, expected);
        QCOMPARE(pb::matchPattern(text.toStdU16String(), pattern.toStdU16String()), expected);
    }

private slots:
    void literals_data()
    {
        columns();
        row("", "", Match);
        row("abc", "abc", Match);
        row("abc", "abd", NoMatch);
        row("abc", "ab", NoMatch);   // the whole text must be covered
        row("ab", "abc", NoMatch);
        row("", "a", NoMatch);
        row("a", "", NoMatch);
        row("Smith", "smith", NoMatch);
        row("Müller", "Müller", Match);
        row("müller", "Müller", NoMatch);
        row("a!b-c", "a!b-c", Match); // ! and - only mean something in a list
        row("a?c", "abc", NoMatch);   // wildcards in the text are plain characters
        row("a*", "a*", Match);
    }
    void literals() { verifyRow(); }

    void anyChar_data()
    {
        columns();
        row("a", "?", Match);
        row("?", "?", Match);
        row("", "?", NoMatch);
        row("ab", "?", NoMatch);
        row("abc", "a?c", Match);
        row("ac", "a?c", NoMatch);
        row("abbc", "a?c", NoMatch);
        row("é", "?", Match);
        // One code unit each: a character outside the BMP takes two.
        row("😀", "?", NoMatch);
        row("😀", "??", Match);
    }
    void anyChar() { verifyRow(); }

    void star_data()
    {
        columns();
        row("", "*", Match);
        row("anything at all", "*", Match);
        row("", "**", Match);
        row("abc", "***", Match);
        row("abc", "a*", Match);
        row("a", "a*", Match);        // star matching nothing at the end
        row("abc", "*c", Match);
        row("c", "*c", Match);        // ... and at the start
        row("abc", "*b", NoMatch);
        row("abc", "a*c", Match);
        row("ac", "a*c", Match);      // ... and in the middle
        row("ab", "a*c", NoMatch);
        row("abc", "a**c", Match);
        row("abcbc", "a*bc", Match);  // first "bc" is a false start
        row("abcb", "a*bc", NoMatch);
        row("mississippi", "m*iss*ppi", Match);
        row("mississippi", "m*iss*ppx", NoMatch);
        row("mississippi", "*ss*ss*", Match);
        row("mississippi", "*ss*ss*ss*", NoMatch);
        row("abc", "*a*b*c*", Match);
        row("acb", "*a*b*c*", NoMatch);
        row("ab", "*?*?*", Match);
        row("a", "*?*?*", NoMatch);
        row("Anna Berg", "A* B*", Match);
        row("Anna", "A* B*", NoMatch);
    }
    void star() { verifyRow(); }

    void digit_data()
    {
        columns();
        row("71", "#1", Match);
        row("a1", "#1", NoMatch);
        row("0", "#", Match);
        row("9", "#", Match);
        row("", "#", NoMatch);
        row("12", "#", NoMatch);
        row("#", "#", NoMatch);
        row("x", "#", NoMatch);
        row("/", "#", NoMatch);       // neighbours of '0' and '9'
        row(":", "#", NoMatch);
        row("٣", "#", NoMatch);       // only 0-9 count as digits
        row("555-1234", "###-####", Match);
        row("555-12a4", "###-####", NoMatch);
        row("+49 30 1234", "+## *", Match);
    }
    void digit() { verifyRow(); }

    void lists_data()
    {
        columns();
        row("b", "[abc]", Match);
        row("d", "[abc]", NoMatch);
        row("B", "[abc]", NoMatch);
        row("", "[abc]", NoMatch);
        row("ab", "[abc]", NoMatch);  // a list stands for exactly one character
        row("cat", "[bc]at", Match);
        row("hat", "[bc]at", NoMatch);
        row("ab", "[a][b]", Match);
        row("ba", "[a][b]", NoMatch);
        row("[", "[[]", Match);       // "[" inside a list is plain
        row("x]", "[x]]", Match);     // the list ends at the first "]"
        row("Meyer", "M[ae][iy]er", Match);
        row("Mayr", "M[ae][iy]er", NoMatch);
    }
    void lists() { verifyRow(); }

    void negatedLists_data()
    {
        columns();
        row("d", "[!abc]", Match);
        row("a", "[!abc]", NoMatch);
        row("c", "[!abc]", NoMatch);
        row("", "[!a]", NoMatch);
        row("xy", "[!a]", NoMatch);
        row("x", "[!0-9]", Match);
        row("5", "[!0-9]", NoMatch);
        row("!", "[!!]", NoMatch);
        row("?", "[!!]", Match);
        row("bat", "[!c]at", Match);
        row("cat", "[!c]at", NoMatch);
    }
    void negatedLists() { verifyRow(); }

    void ranges_data()
    {
        columns();
        row("m", "[a-z]", Match);
        row("a", "[a-z]", Match);     // both ends included
        row("z", "[a-z]", Match);
        row("`", "[a-z]", NoMatch);   // just below 'a'
        row("{", "[a-z]", NoMatch);   // just above 'z'
        row("M", "[a-z]", NoMatch);
        row("a", "[a-a]", Match);
        row("Q", "[a-zA-Z]", Match);
        row("5", "[a-zA-Z0-9]", Match);
        row("_", "[a-zA-Z0-9]", NoMatch);
        row("_", "[A-z]", Match);     // by code: '_' sits between 'Z' and 'a'
        row("é", "[à-ü]", Match);
        row("e", "[à-ü]", NoMatch);
        row("ｂ", "[a-ｚ]", Match);   // code units above 0x7FFF compare unsigned
        row("€", "[a-ｚ]", Match);
        row("ｚ", "[a-z]", NoMatch);
        row("x", "[a-cx]", Match);
        row("b", "[xa-c]", Match);
        row("d", "[a-ce-g]", NoMatch);
        row(",", "[+--]", Match);     // a hyphen may end a range
        row("-", "[a-c-e]", Match);   // the hyphen after a range is plain
        row("d", "[a-c-e]", NoMatch);
        row("Schmidt", "Sch[m-n]i[c-e]t", Match);
    }
    void ranges() { verifyRow(); }

    void literalsInsideLists_data()
    {
        columns();
        row("-", "[-a]", Match);      // leading hyphen
        row("a", "[-a]", Match);
        row("b", "[-a]", NoMatch);
        row("-", "[a-]", Match);      // trailing hyphen
        row("a", "[a-]", Match);
        row("b", "[a-]", NoMatch);
        row("-", "[-]", Match);
        row("-", "[!-a]", NoMatch);   // leading hyphen after the negation mark
        row("b", "[!-a]", Match);
        row("!", "[a!]", Match);      // "!" not right after "[" is plain
        row("!", "[a!b]", Match);
        row("c", "[a!b]", NoMatch);
        row("?", "[?]", Match);
        row("a", "[?]", NoMatch);
        row("*", "[*]", Match);
        row("ab", "[*]", NoMatch);
        row("", "[*]", NoMatch);
        row("#", "[#]", Match);
        row("5", "[#]", NoMatch);
        row("a*", "a[*]", Match);
        row("ab", "a[*]", NoMatch);
        row("]", "]", Match);         // "]" outside a list is plain
        row("a]", "a]", Match);
        row("]]", "]*", Match);
        row("x", "]", NoMatch);
    }
    void literalsInsideLists() { verifyRow(); }

    void emptyLists_data()
    {
        columns();
        row("", "[]", NoMatch);
        row("a", "[]", NoMatch);
        row("]", "[]", NoMatch);
        row("]", "[]]", NoMatch);     // "[]" then a plain "]"
        row("a", "a[]*", NoMatch);
        row("a", "[!]", Match);
        row("]", "[!]", Match);
        row("!", "[!]", Match);
        row("", "[!]", NoMatch);
        row("ab", "[!]", NoMatch);
        row("x]", "[!]]", Match);
    }
    void emptyLists() { verifyRow(); }

    void invalidPatterns_data()
    {
        columns();
        row("abc", "[abc", Invalid);
        row("ab", "ab[", Invalid);
        row("", "[", Invalid);
        row("", "[!", Invalid);
        row("a", "[z-a]", Invalid);
        row("", "[z-a]", Invalid);
        row("a", "[!z-a]", Invalid);
        row("a", "[a-cz-x]", Invalid);
        row("b", "[a-b", Invalid);
        row("]", "][", Invalid);
        // Matching would have settled on an earlier part of the pattern;
        // the later fault must still be reported.
        row("abc", "abc[", Invalid);
        row("abc", "abc[de", Invalid);
        row("abc", "*[", Invalid);
        row("xyz", "a[", Invalid);
        row("b", "[a-c][z-a]", Invalid);
        row("xyz", "a*[z-a]", Invalid);
    }
    void invalidPatterns() { verifyRow(); }

    // Patterns full of stars against long text. A backtracking matcher that
    // retries every split would not finish these.
    void longInputs()
    {
        const std::u16string as(10000, u'a');
        std::u16string stars;
        for (int i = 0; i < 60; ++i)
            stars += u"*a";

        QCOMPARE(pb::matchPattern(as, stars + u"*b"), NoMatch);
        QCOMPARE(pb::matchPattern(as, stars + u"*"), Match);
        QCOMPARE(pb::matchPattern(as, stars), Match);
        QCOMPARE(pb::matchPattern(as + u'b', stars + u"*b"), Match);
        QCOMPARE(pb::matchPattern(as, stars + u"*[!a]*"), NoMatch);
        QCOMPARE(pb::matchPattern(as.substr(0, 59), stars), NoMatch);
        QCOMPARE(pb::matchPattern(as.substr(0, 60), stars), Match);
    }
};

QTEST_APPLESS_MAIN(TestPattern)
#include "tst_pattern.moc"
