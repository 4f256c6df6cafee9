#pragma once

#include "records/RecordFile.h"

#include <QString>

#include <array>
#include <cstddef>
#include <string_view>

namespace pb {

inline constexpr const char* kDiariesFileName = "Diaries.z8D";

enum class DiaryField { Date, Text };

constexpr std::size_t kDiaryRecordSize = 1000;
constexpr std::size_t kDiaryDateWidth = 40;
constexpr std::size_t kDiaryTextWidth = 960;

// One diary entry as it lies on disk: the date line and the text back to
// back, one byte per character, space padded.
struct DiaryRecord {
    std::array<char, kDiaryRecordSize> bytes{};   // a new entry is all zero bytes

    static constexpr std::size_t offsetOf(DiaryField f) { return f == DiaryField::Date ? 0 : kDiaryDateWidth; }
    static constexpr std::size_t widthOf(DiaryField f)
    {
        return f == DiaryField::Date ? kDiaryDateWidth : kDiaryTextWidth;
    }

    std::string_view raw(DiaryField f) const;
    // Cut to the field's width or space padded to it.
    void store(DiaryField f, QStringView text);
    // What a box shows: everything up to the first NUL, padding included.
    QString shownText(DiaryField f) const;
    // True when the field shows `text` as it is, give or take the spaces
    // that pad it: nothing was cut and every character survived the code page.
    bool showsWhole(DiaryField f, QStringView text) const;

    bool operator==(const DiaryRecord&) const = default;
};

// The diaries file: entries of 1000 bytes numbered from 1, on the same
// fixed-record file as the phonebook.
class DiaryFile : public RecordFile
{
public:
    DiaryFile() : RecordFile(kDiaryRecordSize) {}
    // Opens the file; an entry whose save was cut short is put back first.
    // `notice` tells what the user must hear about it (empty: nothing).
    bool openDiaries(const QString& path, QString* notice);
    // Reads an entry; the diaries as they are now count as seen.
    bool read(int number, DiaryRecord& into);
    // Writes an entry whole or not at all (journaled, on the disk when it
    // returns true); a failure leaves the old entry as it was. Like the
    // book, it holds the diaries' lock, and writes nothing over diaries
    // another program changed since this one read them.
    bool write(int number, const DiaryRecord& from);

private:
    bool writeLocked(int number, const DiaryRecord& from);
    io::Identity known_;   // the file as this program last saw it
};

} // namespace pb
