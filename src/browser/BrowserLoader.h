#pragma once

#include <QString>

namespace pb {

class BrowserPlugin;

// The publisher's site as built in; the "PublisherSiteBase" setting may name
// another (a mirror, a test server). Always ends in "/".
inline constexpr const char* kPublisherSiteBase = "http://www.rivevozudezi.example/";

// Loads the browser plugin on first use: beside the program, in the build's
// plugin folder, or where an installation puts it. Nothing (with the
// reason) when it cannot be loaded; `notInstalled` tells that no plugin
// file was found at all (the browser is a package of its own).
// `programFolder` empty: the running program's folder.
BrowserPlugin* loadBrowserPlugin(QString* error, bool* notInstalled = nullptr, const QString& programFolder = {});

// What a user without the browser is told: how to install it.
QString browserNotInstalledMessage();

} // namespace pb
