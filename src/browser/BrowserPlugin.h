#pragma once

// The browser window lives in a plugin of its own, so that the web engine is
// loaded only when the browser is first opened. This header is all that the
// program and the plugin share.

#include <QString>
#include <QtPlugin>

#include <functional>

class QWidget;

namespace pb {

class Dialogs;
class MessageBoxes;

// The publisher's pages that both the main window's and the browser's
// Online menus open, relative to the site's base.
namespace site {
inline constexpr const char* kProductPage = "z8p_phonebook.htm";
inline constexpr const char* kHomePage = "";
inline constexpr const char* kCatalogPage = "catalog.htm";
inline constexpr const char* kStorePage = "store.htm";
inline constexpr const char* kFeedbackPage = "Feedback.htm";
} // namespace site

// What the browser window needs of the program that opens it.
struct BrowserHost {
    MessageBoxes* boxes = nullptr;
    Dialogs* dialogs = nullptr;
    QString siteBase;                 // the publisher's site, ending in "/"
    std::function<void()> showAbout;  // a new About box, not modal
};

// The browser window, as the program drives it.
class BrowserWindow
{
public:
    virtual ~BrowserWindow() = default;
    virtual QWidget* widget() = 0;
    // Starts loading an address; the address box and its list stay as they are.
    virtual void Navigate(const QString& address) = 0;
    // The address box, a navigation and the address list, for a page of the site.
    virtual void GoToSitePage(const QString& page) = 0;
    virtual void GoToAddress(const QString& address) = 0;
};

class BrowserPlugin
{
public:
    virtual ~BrowserPlugin() = default;
    // A new browser window, loaded and shown; it deletes itself when closed.
    virtual BrowserWindow* create(const BrowserHost& host) = 0;
};

} // namespace pb

#define PB_BROWSER_PLUGIN_IID "com.rivevozudezi.z8p-phonebook.BrowserPlugin/1.0"
Q_DECLARE_INTERFACE(pb::BrowserPlugin, PB_BROWSER_PLUGIN_IID)
