#include "platform/MessageBoxes.h"

#include <QEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace pb {

QString MessageBoxes::applicationTitle()
{
    return QStringLiteral("z8P Phonebook");
}

MsgAnswer DesktopMessageBoxes::show(QWidget* parent, const QString& text, const QString& title,
                                    MsgButtons buttons, MsgIcon icon)
{
    return showDetails(parent, text, QString(), title, buttons, icon);
}

std::pair<QString, QString> MessageBoxes::fitOnScreen(const QString& text, const QString& details)
{
    constexpr int kLines = 15;
    constexpr qsizetype kCharacters = 1200;
    const QStringList lines = text.split(u'\n');
    if (lines.size() <= kLines && text.size() <= kCharacters)
        return {text, details};
    // The beginning in the box, the whole under "Show Details...", which
    // scrolls within a box that fits the screen.
    QString shown;
    for (const QString& line : lines) {
        if (shown.count(u'\n') >= kLines - 3 || shown.size() + line.size() > kCharacters - 200) {
            if (shown.isEmpty())
                shown = line.left(kCharacters - 200) + QStringLiteral("...");
            break;
        }
        shown += (shown.isEmpty() ? QString() : QStringLiteral("\n")) + line;
    }
    shown += QStringLiteral("\n\n(The whole text is under Show Details.)");
    return {shown, details.isEmpty() ? text : text + QStringLiteral("\n\n") + details};
}

namespace {

// The details grow with their text when shown, up to what the screen leaves
// beside the rest of the box; past that they scroll.
class DetailsFitTheirText : public QObject
{
public:
    DetailsFitTheirText(QMessageBox* box, QTextEdit* details) : QObject(box), box_(box), details_(details)
    {
        details->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Show)
            QTimer::singleShot(0, this, [this] { fit(); });
        return false;
    }

private:
    void fit()
    {
        QTextDocument* doc = details_->document();
        doc->setTextWidth(details_->viewport()->width());
        const int frame = details_->height() - details_->viewport()->height();
        const int wanted = static_cast<int>(std::ceil(doc->size().height())) + frame + 2;
        int room = wanted;
        if (const QScreen* screen = box_->screen()) {
            const int rest = box_->height() - details_->height();
            room = screen->availableGeometry().height() - rest - 60;
        }
        const int height = std::max(details_->height(), std::min(wanted, room));
        if (height != details_->height()) {
            details_->setFixedHeight(height);
            box_->adjustSize();
        }
    }

    QMessageBox* box_;
    QTextEdit* details_;
};

} // namespace

MsgAnswer DesktopMessageBoxes::showDetails(QWidget* parent, const QString& longText, const QString& longDetails,
                                           const QString& title, MsgButtons buttons, MsgIcon icon)
{
    const auto [text, details] = fitOnScreen(longText, longDetails);
    QMessageBox box(parent);
    box.setWindowTitle(title.isEmpty() ? applicationTitle() : title);
    // What the user typed or a file held is shown as it is, never as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    if (!details.isEmpty()) {
        box.setDetailedText(details);   // always plain text
        if (auto* edit = box.findChild<QTextEdit*>())
            new DetailsFitTheirText(&box, edit);
    }
    switch (icon) {
    case MsgIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case MsgIcon::Information: box.setIcon(QMessageBox::Information); break;
    case MsgIcon::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case MsgIcon::Critical: box.setIcon(QMessageBox::Critical); break;
    case MsgIcon::Question: box.setIcon(QMessageBox::Question); break;
    }
    switch (buttons) {
    case MsgButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MsgButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        break;
    case MsgButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Yes);
        break;
    case MsgButtons::AbortRetryIgnore:
        box.setStandardButtons(QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore);
        box.setDefaultButton(QMessageBox::Abort);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Yes: return MsgAnswer::Yes;
    case QMessageBox::No: return MsgAnswer::No;
    case QMessageBox::Cancel: return MsgAnswer::Cancel;
    case QMessageBox::Abort: return MsgAnswer::Abort;
    case QMessageBox::Retry: return MsgAnswer::Retry;
    case QMessageBox::Ignore: return MsgAnswer::Ignore;
    default: break;
    }
    // Closing the box without a button counts as its escape answer.
    if (buttons == MsgButtons::YesNo)
        return MsgAnswer::No;
    if (buttons == MsgButtons::YesNoCancel)
        return MsgAnswer::Cancel;
    if (buttons == MsgButtons::AbortRetryIgnore)
        return MsgAnswer::Ignore;
    return MsgAnswer::Ok;
}

MsgAnswer ScriptedMessageBoxes::show(QWidget* parent, const QString& text, const QString& title,
                                     MsgButtons buttons, MsgIcon icon)
{
    return showDetails(parent, text, QString(), title, buttons, icon);
}

MsgAnswer ScriptedMessageBoxes::showDetails(QWidget*, const QString& text, const QString& details,
                                            const QString& title, MsgButtons buttons, MsgIcon icon)
{
    shown.append({text, title.isEmpty() ? applicationTitle() : title, buttons, icon, details});
    if (onShow)
        onShow(shown.last());
    if (!script_.isEmpty())
        return script_.takeFirst();
    switch (buttons) {
    case MsgButtons::YesNo:
    case MsgButtons::YesNoCancel: return MsgAnswer::Yes;
    case MsgButtons::AbortRetryIgnore: return MsgAnswer::Abort;
    case MsgButtons::Ok: break;
    }
    return MsgAnswer::Ok;
}

} // namespace pb
