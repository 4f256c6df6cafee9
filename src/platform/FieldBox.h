#pragma once

#include <QLineEdit>
#include <QPlainTextEdit>

namespace pb {

// A one-line text box whose length limit holds back the user's typing only:
// text put in by the program is shown whole, as read from the file. Pasted
// or dropped text longer than the room left goes in as far as it fits.
class FieldBox : public QLineEdit
{
    Q_OBJECT
public:
    explicit FieldBox(QWidget* parent = nullptr);
    void setMaxChars(int n);
    int maxChars() const { return maxChars_; }

    // Text put in by the program: shown from its start, with the caret
    // before its first character.
    void setText(const QString& text);

private:
    int maxChars_ = 32767;
    QString textBefore_;   // the text before the edit being checked
    bool programText_ = false;
    friend class LengthLimit;
};

// A multi-line text box whose text uses CR LF line breaks, with the same kind
// of limit (a line break counts two characters).
class MultiLineBox : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit MultiLineBox(QWidget* parent = nullptr);
    void setMaxChars(int n) { maxChars_ = n; }
    int maxChars() const { return maxChars_; }

    QString text() const;
    void setText(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    qsizetype roomLeft() const;
    int maxChars_ = 32767;
};

} // namespace pb
