#include "platform/browser.h"

#include <QDesktopServices>
#include <QUrl>

namespace norv {

bool OpenUrlInBrowser(const std::string& url) {
  return QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

}  // namespace norv
