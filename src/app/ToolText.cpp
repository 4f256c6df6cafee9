#include "app/ToolText.h"

#include <cstdio>

namespace pb::tool {

QByteArray forTerminal(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != u'\n' && u != u'\t') || (u >= 0x7F && u < 0xA0))
            out += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out.toLocal8Bit();
}

int fail(const QString& what, const QString& why)
{
    std::fprintf(stderr, "z8p-phonebook-tool: %s: %s\n", forTerminal(what).constData(), forTerminal(why).constData());
    return 1;
}

void print(const QString& text)
{
    if (!text.isEmpty())
        std::printf("%s\n", forTerminal(text).constData());
}

} // namespace pb::tool
