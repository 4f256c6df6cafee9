#pragma once

#include "records/ContactRecord.h"
#include "records/RecordFile.h"

#include <QString>
#include <cstdint>
#include <optional>

namespace pb {

inline constexpr const char* kPhonebookFileName = "DravikBase.z8B";
inline constexpr const char* kClipboardFileName = "PhoneClip.z8B";

// The record state every window shares: the one record buffer through which
// all contacts pass, the phonebook and clipboard files, and the record a
// failed jump returns to.
class Phonebook
{
public:
    ContactRecord RecordBuffer;
    std::int16_t PreviousRecordNumber = 0;

    // Opens (creating when missing) both files in the current directory.
    bool openPhonebookFile();
    bool openClipboardFile();
    void closePhonebookFile() { phonebook_.close(); }
    void closeClipboardFile() { clipboard_.close(); }
    bool phonebookOpen() const { return phonebook_.isOpen(); }

    // Fail for a number below 1 or above 32767, or a file that is not open;
    // the buffer is then left as it was.
    bool ReadRecord(int n) { return phonebook_.read(n, RecordBuffer); }
    bool WriteRecord(int n) { return phonebook_.write(n, RecordBuffer); }
    bool ReadClipboardRecord() { return clipboard_.read(1, RecordBuffer); }
    bool WriteClipboardRecord() { return clipboard_.write(1, RecordBuffer); }

    QString phonebookError() const { return phonebook_.errorString(); }

    // Reads records from `start` on until the first free slot. `end` is the
    // free slot's number, or the number whose read failed (past record 32767,
    // or with the file closed); the buffer holds the last record read.
    struct Scan {
        int end;
        bool complete;
    };
    Scan scanToFreeSlot(int start);

private:
    RecordFile phonebook_;
    RecordFile clipboard_;
};

} // namespace pb
