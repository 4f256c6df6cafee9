#include "records/ContactRecord.h"

#include "platform/Codepage.h"

#include <algorithm>
#include <cstring>

namespace pb {

namespace {
std::string_view beforeNul(std::string_view s)
{
    const auto nul = s.find('\0');
    return nul == std::string_view::npos ? s : s.substr(0, nul);
}
} // namespace

std::string_view ContactRecord::raw(Field f) const
{
    const FieldLayout l = layoutOf(f);
    return {bytes.data() + l.offset, l.width};
}

QString ContactRecord::storedText(Field f) const
{
    return codepage::decode(beforeNul(raw(f)));
}

void ContactRecord::store(Field f, QStringView text)
{
    const FieldLayout l = layoutOf(f);
    const std::string encoded = codepage::encode(text);
    const std::size_t n = std::min(encoded.size(), l.width);
    char* dst = bytes.data() + l.offset;
    std::memcpy(dst, encoded.data(), n);
    std::memset(dst + n, ' ', l.width - n);
}

std::string_view FieldTextBytes(std::string_view stored)
{
    // Up to a NUL, or up to the first space of a run of two (one pass: this
    // runs for every field of every record a whole-book command reads).
    for (std::size_t i = 0; i < stored.size(); ++i) {
        if (stored[i] == '\0')
            return stored.substr(0, i);
        if (stored[i] == ' ' && i + 1 < stored.size() && stored[i + 1] == ' ')
            return stored.substr(0, i + 1);
    }
    return stored;
}

QString FieldText(std::string_view stored)
{
    return codepage::decode(FieldTextBytes(stored));
}

QString FieldText(const ContactRecord& r, Field f)
{
    return FieldText(r.raw(f));
}

QString fieldName(Field f)
{
    static const char* const names[] = {"FirstName", "LastName", "Phone", "E-mail", "Company", "Address", "Comments"};
    return QLatin1String(names[static_cast<int>(f)]);
}

} // namespace pb
