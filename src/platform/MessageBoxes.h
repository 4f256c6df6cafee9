#pragma once

#include <QString>

#include <functional>

#include <utility>
#include <QList>

class QWidget;

namespace pb {

enum class MsgButtons { Ok, YesNo, YesNoCancel, AbortRetryIgnore };
enum class MsgIcon { None, Information, Exclamation, Critical, Question };
enum class MsgAnswer { Ok, Yes, No, Cancel, Abort, Retry, Ignore };

// Every modal message of the program goes through here.
class MessageBoxes
{
public:
    virtual ~MessageBoxes() = default;
    // An empty title shows the application's title.
    virtual MsgAnswer show(QWidget* parent, const QString& text, const QString& title,
                           MsgButtons buttons, MsgIcon icon) = 0;
    // The same with a longer text the user can unfold (a report's lines).
    virtual MsgAnswer showDetails(QWidget* parent, const QString& text, const QString& details,
                                  const QString& title, MsgButtons buttons, MsgIcon icon) = 0;

    static QString applicationTitle();
    // A text too long for a box that fits the screen: its beginning for the
    // box, and the whole (then the details) for the part that scrolls.
    static std::pair<QString, QString> fitOnScreen(const QString& text, const QString& details);
};

// The real thing: a modal QMessageBox.
class DesktopMessageBoxes final : public MessageBoxes
{
public:
    MsgAnswer show(QWidget* parent, const QString& text, const QString& title,
                   MsgButtons buttons, MsgIcon icon) override;
    MsgAnswer showDetails(QWidget* parent, const QString& text, const QString& details,
                          const QString& title, MsgButtons buttons, MsgIcon icon) override;
};

// Records every box and answers from a script (Ok / the first button when
// the script runs dry). Used by the tests.
class ScriptedMessageBoxes final : public MessageBoxes
{
public:
    struct Shown {
        QString text;
        QString title;
        MsgButtons buttons;
        MsgIcon icon;
        QString details;
    };

    MsgAnswer show(QWidget* parent, const QString& text, const QString& title,
                   MsgButtons buttons, MsgIcon icon) override;
    MsgAnswer showDetails(QWidget* parent, const QString& text, const QString& details,
                          const QString& title, MsgButtons buttons, MsgIcon icon) override;

    void answerNext(MsgAnswer a) { script_.append(a); }
    // Run as each box shows, before it is answered (what happens meanwhile).
    std::function<void(const Shown&)> onShow;
    QList<Shown> shown;
    QList<MsgAnswer> script_;
};

} // namespace pb
