#pragma once

#include <QString>
#include <string>

namespace pb::codepage {

// The records keep one byte per character in the Windows-1252 code page.
// A character that code page cannot hold is stored as '?'.
std::string encode(QStringView text);
QString decode(std::string_view bytes);
void appendDecoded(QString& out, std::string_view bytes);

} // namespace pb::codepage
