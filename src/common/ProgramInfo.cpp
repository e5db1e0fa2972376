#include "common/ProgramInfo.h"

#include "QuilletBuildConfig.h"

namespace quillet {

QString ProgramVersion() { return QStringLiteral(QUILLET_VERSION); }

QUrl WebSiteUrl() { return QUrl(QStringLiteral(QUILLET_WEB_SITE)); }

QString SupportMailAddress() { return QStringLiteral(QUILLET_SUPPORT_MAIL); }

QString DesktopFileId() { return QStringLiteral(QUILLET_DESKTOP_ID); }

}  // namespace quillet
