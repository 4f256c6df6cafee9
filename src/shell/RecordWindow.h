#pragma once

#include "records/ContactRecord.h"

#include <QString>

#include <cstdint>
#include <optional>

class QWidget;

namespace pb {

class CommonDialog;

// What the other windows use of the main window: its record boxes, the
// record box and the count, and its shared open dialog. The main window
// implements it; search, print, the viewer, the diaries, the e-mail panel
// and the splash reach the main window through this and nothing else.
class RecordWindow
{
public:
    virtual ~RecordWindow() = default;

    virtual QWidget* widget() = 0;
    // Shows the record buffer in the seven boxes.
    virtual void ToDisplay() = 0;
    virtual void setRecordBox(const QString& text) = 0;
    void setRecordBox(int n) { setRecordBox(QString::number(n)); }
    // The record on show and the count, when their boxes hold numbers.
    virtual std::optional<std::int16_t> currentRecord() const = 0;
    virtual std::optional<std::int16_t> recordCount() const = 0;
    virtual QString boxText(Field f) const = 0;
    virtual void setBoxText(Field f, const QString& text) = 0;
    // The single-record text of what the boxes show now, edits included.
    virtual QString CurrentRecordText() const = 0;
    // The one common dialog of the main window, shared with the viewer.
    virtual CommonDialog& dlgFileOpen() = 0;
};

} // namespace pb
