#pragma once

// What the tool says, on the terminal: a file's or a server's text never
// sends control characters to it.

#include <QByteArray>
#include <QString>

namespace pb::tool {

// Control characters (an escape sequence in a file's name, say) shown
// escaped, never sent as they are; line breaks stay.
QByteArray forTerminal(const QString& text);
// "z8p-phonebook-tool: WHAT: WHY" on standard error; returns 1.
int fail(const QString& what, const QString& why);
// A line on standard output (nothing for empty text).
void print(const QString& text);

} // namespace pb::tool
