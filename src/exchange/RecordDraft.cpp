#include "exchange/RecordDraft.h"

#include "platform/Codepage.h"

namespace pb::exchange::detail {

bool quietlyInto(RecordDraft& r, Field f, std::string_view utf8)
{
    const FieldLayout l = layoutOf(f);
    char* const start = r.bytes.data() + l.offset;
    char* out = start;
    char* const stop = out + l.width;
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* const end = p + utf8.size();
    if (utf8.size() >= 3 && utf8.substr(0, 3) == "\xEF\xBB\xBF")
        return false;
    const bool fits = utf8.size() <= l.width;   // then the bytes fit too
    while (p < end) {
        if (!fits && out == stop)
            return false;
        const unsigned char b = *p;
        if (b < 0x80) {
            if ((b < 0x20 && b != '\r' && b != '\n' && b != '\t') || b == 0x7F)
                return false;
            if (b == ' ' && out > start && out[-1] == ' ') {
                ++p;   // a run of spaces is stored as one
                continue;
            }
            *out++ = static_cast<char>(b);
            ++p;
            continue;
        }
        char32_t c;
        int more;
        if ((b & 0xE0) == 0xC0 && b >= 0xC2) {
            c = b & 0x1F;
            more = 1;
        } else if ((b & 0xF0) == 0xE0) {
            c = b & 0x0F;
            more = 2;
        } else {
            return false;   // four bytes (beyond the pages) or no lead byte
        }
        if (end - p <= more)
            return false;
        for (int k = 1; k <= more; ++k) {
            if ((p[k] & 0xC0) != 0x80)
                return false;
            c = (c << 6) | (p[k] & 0x3F);
        }
        if ((more == 2 && c < 0x800) || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        const char byte = codepage::byteFor(c);
        if (byte == '\0')
            return false;
        *out++ = byte;
        p += more + 1;
    }
    r.used[static_cast<std::size_t>(f)] = static_cast<std::uint8_t>(out - start);
    return true;
}

} // namespace pb::exchange::detail
