#pragma once

// A card whose every property has a field of its own and says nothing the
// report would mention, read in one pass straight into its record: the
// record contactFrom() and the import's plan would make of it. Any other
// card is left to the usual reading.

#include "exchange/RecordDraft.h"
#include "exchange/vcard/VCardLine.h"

#include <array>
#include <string>
#include <string_view>

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

    // A value: in the text read, or (p null) at `at` in unfolded_.
    struct Span {
        const char* p = nullptr;
        std::size_t at = 0, size = 0;
    };
    std::array<Span, 16> values_;   // by kind
    std::string unfolded_;          // the card's folded lines, put together
    unsigned seen_ = 0;
    // Scratch, kept from card to card.
    std::array<Text, 4> text_;
    std::array<Text, 7> parts_;
};

} // namespace pb::exchange::detail
