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
    std::string_view s = beforeNul(stored);
    const auto run = s.find("  ");
    if (run != std::string_view::npos)
        s = s.substr(0, run + 1);
    return s;
}

QString FieldText(std::string_view stored)
{
    return codepage::decode(FieldTextBytes(stored));
}

QString FieldText(const ContactRecord& r, Field f)
{
    return FieldText(r.raw(f));
}

} // namespace pb
