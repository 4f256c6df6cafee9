#include "platform/FieldBox.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QValidator>

namespace pb {

// Refuses an edit that makes the text longer than the limit, unless the text
// was already over it and the edit does not lengthen it further.
class LengthLimit final : public QValidator
{
public:
    explicit LengthLimit(FieldBox* box) : QValidator(box), box_(box) {}

    State validate(QString& input, int&) const override
    {
        if (input.size() <= box_->maxChars_ || input.size() <= box_->lengthBefore_)
            return Acceptable;
        return Invalid;
    }

private:
    FieldBox* box_;
};

namespace {

qsizetype crlfLength(const QString& plain)
{
    return plain.size() + plain.count(QLatin1Char('\n'));
}

} // namespace

FieldBox::FieldBox(QWidget* parent) : QLineEdit(parent)
{
    setValidator(new LengthLimit(this));
    connect(this, &QLineEdit::textChanged, this, [this](const QString& t) { lengthBefore_ = t.size(); });
}

void FieldBox::setMaxChars(int n)
{
    maxChars_ = n;
}

MultiLineBox::MultiLineBox(QWidget* parent) : QPlainTextEdit(parent)
{
    setTabChangesFocus(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

QString MultiLineBox::text() const
{
    QString t = toPlainText();
    t.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return t;
}

void MultiLineBox::setText(const QString& text)
{
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    setPlainText(t);
}

qsizetype MultiLineBox::roomLeft() const
{
    QString selected = textCursor().selectedText();
    selected.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return maxChars_ - (crlfLength(toPlainText()) - crlfLength(selected));
}

void MultiLineBox::keyPressEvent(QKeyEvent* e)
{
    const bool lineBreak = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
    const QString typed = e->text();
    const bool adds = lineBreak || (!typed.isEmpty() && typed.at(0).isPrint());
    if (adds && !(e->modifiers() & Qt::ControlModifier)) {
        const qsizetype needed = lineBreak ? 2 : typed.size();
        if (roomLeft() < needed)
            return;
    }
    QPlainTextEdit::keyPressEvent(e);
}

void MultiLineBox::insertFromMimeData(const QMimeData* source)
{
    if (!source->hasText())
        return;
    QString t = source->text();
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    qsizetype room = roomLeft();
    qsizetype take = 0;
    for (; take < t.size(); ++take) {
        const qsizetype cost = t.at(take) == QLatin1Char('\n') ? 2 : 1;
        if (cost > room)
            break;
        room -= cost;
    }
    insertPlainText(t.left(take));
}

} // namespace pb
