#include "records/PackedRecords.h"

#include "platform/BigBuffer.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace pb {

namespace {

// The length of a field without the spaces that pad it.
std::size_t usedLength(const char* p, std::size_t width)
{
    constexpr std::uint64_t kSpaces = 0x2020202020202020u;
    while (width >= 8) {
        std::uint64_t v;
        std::memcpy(&v, p + width - 8, 8);
        if (v != kSpaces)
            break;
        width -= 8;
    }
    while (width > 0 && p[width - 1] == ' ')
        --width;
    return width;
}

} // namespace

void PackedRecords::reserve(qsizetype records, qsizetype text)
{
    bytes_.reserve(std::min(text + records * kFieldCount, records * static_cast<qsizetype>(kRecordSize + kFieldCount)));
    memory::preferHugePages(bytes_.constData(), static_cast<std::size_t>(bytes_.capacity()));
    at_.reserve(static_cast<std::size_t>(records));
    memory::populate(at_.data(), at_.capacity() * sizeof(std::uint32_t));
    ready_ = bytes_.size();
}

void PackedRecords::clear()
{
    bytes_.clear();
    at_.clear();
    ready_ = 0;
}

void PackedRecords::append(const char* record)
{
    std::array<std::uint8_t, kFieldCount> used;
    for (std::size_t f = 0; f < kFieldCount; ++f)
        used[f] = static_cast<std::uint8_t>(usedLength(record + kLayout[f].offset, kLayout[f].width));
    append(record, used.data());
}

void PackedRecords::append(const char* record, const std::uint8_t* used)
{
    std::array<unsigned char, kFieldCount> length;
    qsizetype total = kFieldCount;
    for (std::size_t f = 0; f < kFieldCount; ++f) {
        // Spaces that end a field are its padding when it is stored.
        length[f] = static_cast<unsigned char>(usedLength(record + kLayout[f].offset, used[f]));
        total += length[f];
    }
    const qsizetype from = bytes_.size();
    const char* const before = bytes_.constData();
    if (from + total > ready_ && from + total <= bytes_.capacity()) {
        // The room reserved is made resident a step ahead of the records.
        const qsizetype step = std::min<qsizetype>(1 << 20, bytes_.capacity() - from);
        memory::populate(bytes_.constData() + from, static_cast<std::size_t>(step));
        ready_ = from + step;
    }
    bytes_.resize(from + total);
    if (bytes_.constData() != before)
        ready_ = bytes_.size();   // moved: what it held came along, the rest is not yet resident
    char* out = bytes_.data() + from;
    out = std::copy(length.begin(), length.end(), out);
    for (std::size_t f = 0; f < kFieldCount; ++f)
        out = std::copy_n(record + kLayout[f].offset, length[f], out);
    at_.push_back(static_cast<std::uint32_t>(from));
}

void PackedRecords::truncate(qsizetype count)
{
    if (count >= size())
        return;
    bytes_.truncate(count > 0 ? static_cast<qsizetype>(at_[static_cast<std::size_t>(count)]) : 0);
    at_.resize(static_cast<std::size_t>(std::max<qsizetype>(count, 0)));
    ready_ = std::min(ready_, bytes_.size());
}

void PackedRecords::copyTo(qsizetype i, char* record) const
{
    const auto* length = reinterpret_cast<const unsigned char*>(bytes_.constData()) + at_[static_cast<std::size_t>(i)];
    const char* text = reinterpret_cast<const char*>(length) + kFieldCount;
    for (std::size_t f = 0; f < kFieldCount; ++f) {
        char* const field = record + kLayout[f].offset;
        std::memcpy(field, text, length[f]);
        std::memset(field + length[f], ' ', kLayout[f].width - length[f]);
        text += length[f];
    }
}

std::string_view PackedRecords::field(qsizetype i, Field f) const
{
    const auto* length = reinterpret_cast<const unsigned char*>(bytes_.constData()) + at_[static_cast<std::size_t>(i)];
    const char* text = reinterpret_cast<const char*>(length) + kFieldCount;
    const auto n = static_cast<std::size_t>(f);
    for (std::size_t k = 0; k < n; ++k)
        text += length[k];
    return {text, length[n]};
}

ContactRecord PackedRecords::at(qsizetype i) const
{
    ContactRecord r;
    copyTo(i, r.bytes.data());
    return r;
}

} // namespace pb
