#pragma once

#include <QString>
#include <QUrl>

namespace quillet {

// The program's version as the build gives it, "1.00".
QString ProgramVersion();
// The maker's web site and support mail address, as the build gives them.
QUrl WebSiteUrl();
QString SupportMailAddress();
// The name of the desktop entry, without ".desktop", which is also the icon's name.
QString DesktopFileId();

}  // namespace quillet
