#pragma once

// A card that says nothing the report would mention, read in one pass
// straight into its record: the record contactFrom() and the import's plan
// would make of it. Its properties are those of the fields, further
// numbers, e-mail addresses and addresses, and the extras kept in Comments
// by their short forms ("birthday 1980-04-22"), all of them plain text that
// fits. Any other card is left to the usual reading.

#include "exchange/RecordDraft.h"
#include "exchange/vcard/VCardLine.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace pb::exchange::detail {

class PlainCard
{
public:
    // The card whose BEGIN:VCARD line starts at `p`, with the text held up
    // to `end`: its record written into `r`, and where the line after its
    // END:VCARD begins; or nullptr, and the card is read the usual way
    // (`r` then holds nothing of use).
    const char* read(const char* p, const char* end, RecordDraft& r);

private:
    // Whether a property of this kind and with these parameters can be
    // read straight into its field.
    bool take(QByteArrayView head, qsizetype semicolon, Prop kind);
    bool has(Prop kind) const { return seen_ & (1u << static_cast<unsigned>(kind)); }
    std::string_view value(Prop kind) const;

    // The record of the values read; false when the usual way must read it.
    bool record(RecordDraft& r);
    bool nameInto(RecordDraft& r);
    bool phoneInto(RecordDraft& r);
    bool companyInto(RecordDraft& r);
    bool addressInto(RecordDraft& r);
    bool commentsInto(RecordDraft& r);

    // A value: in the text read, or (p null) at `at` in unfolded_.
    struct Span {
        const char* p = nullptr;
        std::size_t at = 0, size = 0;
    };
    std::string_view text(const Span& s) const;
    // One of several numbers, addresses or extras, in the card's order.
    struct Item {
        Prop kind;
        const ExtraKind* extra;   // for an extra
        Span head;                // name and parameters
        qsizetype semicolon;      // where the parameters begin in the head, or -1
        Span value;
    };
    // Of the numbers (e-mail addresses, addresses), the one for the field:
    // the first preferred one, else the first; nullptr when there is none.
    const Item* chosen(Prop kind) const;
    // An item's short form in Comments ("cell +1 555 0100"), onto `out`.
    bool shortForm(const Item& item, Text& out);
    // The kind of a number or address as the short form names it ("work,cell").
    bool typeLabel(const Item& item, Text& out) const;
    // The value of a number or an address as its field holds it.
    bool phoneText(std::string_view value, Text& out);
    bool addressText(std::string_view value, Text& out);

    std::array<Span, 16> values_;   // by kind
    std::vector<Item> items_;
    std::array<const Item*, 16> chosen_{};   // by kind, once the card is read
    const ExtraKind* extra_ = nullptr;       // of the extra take() last let through
    std::string unfolded_;          // the card's folded lines, put together
    unsigned seen_ = 0;
    // Scratch, kept from card to card.
    std::array<Text, 8> text_;
    std::array<Text, 7> parts_;
};

} // namespace pb::exchange::detail
