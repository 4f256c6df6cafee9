#pragma once

#include <QLineEdit>
#include <QPlainTextEdit>

namespace pb {

// A one-line text box whose length limit holds back the user's typing only:
// text put in by the program is shown whole, as read from the file.
class FieldBox : public QLineEdit
{
    Q_OBJECT
public:
    explicit FieldBox(QWidget* parent = nullptr);
    void setMaxChars(int n);
    int maxChars() const { return maxChars_; }

private:
    int maxChars_ = 32767;
    qsizetype lengthBefore_ = 0;   // the text's length before the edit being checked
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
