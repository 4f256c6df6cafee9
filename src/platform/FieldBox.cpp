#include "platform/FieldBox.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QTextDocument>
#include <QValidator>

#include <algorithm>

namespace pb {

// Holds an edit to the limit: what an edit inserts is cut to the room left,
// unless the text was already over the limit and the edit does not lengthen it.
class LengthLimit final : public QValidator
{
public:
    explicit LengthLimit(FieldBox* box) : QValidator(box), box_(box) {}

    State validate(QString& input, int& pos) const override
    {
        if (box_->programText_)
            return Acceptable;
        const QString& before = box_->textBefore_;
        const qsizetype cap = std::max<qsizetype>(box_->maxChars_, before.size());
        if (input.size() <= cap)
            return Acceptable;
        // The edit inserted text that ends at the caret; the text after the
        // caret is as it was. Keep of the inserted part what fits.
        const qsizetype caret = std::clamp<qsizetype>(pos, 0, input.size());
        qsizetype prefix = 0;
        while (prefix < caret && prefix < before.size() && input[prefix] == before[prefix])
            ++prefix;
        const qsizetype suffix = input.size() - caret;
        const qsizetype room = std::max<qsizetype>(cap - prefix - suffix, 0);
        const qsizetype inserted = caret - prefix;
        if (prefix + suffix > cap || room >= inserted)
            return Invalid;
        input = input.left(prefix) + input.mid(prefix, room) + input.mid(caret);
        pos = static_cast<int>(prefix + room);
        return Acceptable;
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
    connect(this, &QLineEdit::textChanged, this, [this](const QString& t) { textBefore_ = t; });
}

void FieldBox::setText(const QString& text)
{
    programText_ = true;
    QLineEdit::setText(text);
    programText_ = false;
    setCursorPosition(0);
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
    // The raw text: toPlainText() would turn no-break spaces into spaces,
    // and Apply would change bytes nobody touched.
    QString t = document()->toRawText();
    t.replace(QChar::ParagraphSeparator, QLatin1String("\r\n"));
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
