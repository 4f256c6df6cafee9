#pragma once

#include "platform/MessageBoxes.h"
#include "platform/SettingsStore.h"
#include "records/ContactRecord.h"
#include "support/MemoryKeyring.h"
#include "support/Records.h"
#include "mainwindow/Data.h"
#include "shell/AppContext.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <initializer_list>
#include <memory>

namespace pb::test {

// One run of the program in a temporary folder: the current directory, the
// settings file and scripted message boxes all belong to the test.
class TestEnv
{
public:
    TestEnv();
    ~TestEnv();

    QString path(const QString& name) const;
    QString phonebookPath() const { return path(QStringLiteral("DravikBase.z8B")); }
    QString clipboardPath() const { return path(QStringLiteral("PhoneClip.z8B")); }
    QString iniPath() const;

    // Files on disk.
    void writeBook(const QList<ContactRecord>& records);
    void writeBookNames(const QStringList& firstNames);
    void writeClipboard(const ContactRecord& r);
    QByteArray fileBytes(const QString& name) const;
    QList<ContactRecord> bookOnDisk() const;   // every whole record in the file
    QStringList firstNamesOnDisk() const;      // FieldText of each first name
    ContactRecord clipboardOnDisk() const;

    // Settings as the program stores them.
    void setSetting(const QString& key, const QString& value);
    QString setting(const QString& key) const;   // empty QString when absent
    bool hasSetting(const QString& key) const;

    // The program.
    Data* openData();                // creates, loads and shows the main window
    void closeData();                // closes it as the user would
    void restart();                  // a fresh run in the same folder
    AppContext& ctx() { return *ctx_; }
    ScriptedMessageBoxes& boxes() { return boxes_; }
    ScriptedDialogs& dialogs() { return dialogs_; }
    ScriptedProgramStarter& programs() { return programs_; }
    MemoryKeyring& keyring() { return keyring_; }
    QStringList messages() const;    // text of every box shown so far
    void clearMessages() { boxes_.shown.clear(); }

private:
    QTemporaryDir dir_;
    QString oldCwd_;
    ScriptedMessageBoxes boxes_;
    ScriptedDialogs dialogs_;
    ScriptedProgramStarter programs_;
    SettingsStore settings_;
    MemoryKeyring keyring_;
    std::unique_ptr<AppContext> ctx_;
    void makeContext();
};


// Widgets of the main window by object name.
QLineEdit* lineEdit(QWidget* w, const char* name);
QPushButton* button(QWidget* w, const char* name);
QAction* action(QWidget* w, const char* name);
QString title(Data* d);
QString recordBox(Data* d);
QString countLabel(Data* d);
QStringList shownBoxes(Data* d);   // the seven boxes' texts in record order
void click(QWidget* w, const char* buttonName);
void typeInto(QWidget* w, const char* boxName, const QString& text, bool clearFirst = true);
// Record n on show, reached as the user would: the first record, then Next.
void goTo(Data* d, int n);
// A click on the toolbar button with this key.
void clickToolbar(Data* d, const char* key);
// A window's menus and toolbars as text, a line per item, indented by
// depth: name, caption, shortcuts and what is hidden, disabled or checked;
// for a toolbar button its key, tooltip and whether it has a picture.
QString dumpCommands(QWidget* window);
// The last message box shown, or an empty one.
ScriptedMessageBoxes::Shown lastBox(TestEnv& env);

} // namespace pb::test
