#pragma once

#include <QString>

#include <array>
#include <cstddef>
#include <string_view>

namespace pb {

enum class Field { FirstName, LastName, Phone, Email, Company, Address, Comments };

constexpr int kFieldCount = 7;
constexpr std::size_t kRecordSize = 440;

struct FieldLayout {
    std::size_t offset;
    std::size_t width;
};

constexpr std::array<FieldLayout, kFieldCount> kLayout = {{
    {0, 20}, {20, 20}, {40, 27}, {67, 33}, {100, 60}, {160, 120}, {280, 160},
}};

constexpr FieldLayout layoutOf(Field f) { return kLayout[static_cast<std::size_t>(f)]; }
// The boxes take two characters less than the field, so a field written by
// the program always ends in a run of at least two spaces.
constexpr int boxLimit(Field f) { return static_cast<int>(layoutOf(f).width) - 2; }

constexpr std::array<Field, kFieldCount> kAllFields = {
    Field::FirstName, Field::LastName, Field::Phone,   Field::Email,
    Field::Company,   Field::Address,  Field::Comments,
};

// One contact as it lies on disk: the seven fields back to back, each one
// byte per character, space padded.
struct ContactRecord {
    std::array<char, kRecordSize> bytes{};   // a new record is a free slot

    std::string_view raw(Field f) const;
    // Text up to the first NUL, padding included.
    QString storedText(Field f) const;
    // Cut to the field's width or space padded to it.
    void store(Field f, QStringView text);
    // A free slot's first name begins with NUL.
    bool isFree() const { return bytes[0] == '\0'; }
    void clear() { bytes.fill('\0'); }

    bool operator==(const ContactRecord&) const = default;
};

// The text a field shows: up to the first NUL, then up to and including the
// first space of the first run of two spaces.
// The name reports give a field ("FirstName", "E-mail").
QString fieldName(Field f);

QString FieldText(const ContactRecord& r, Field f);
QString FieldText(std::string_view stored);
// The same rule on the stored bytes, without decoding them.
std::string_view FieldTextBytes(std::string_view stored);

} // namespace pb
