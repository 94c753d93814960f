#pragma once
// Writes a composed screen as a PNG for a person to look at. Off by default: set
// NORV_DISPLAY_PNG_DIR to a folder and the tests that call MaybeWritePng leave their
// pictures there.

#include <QImage>
#include <QString>
#include <cstdlib>
#include <string>

#include "display/ui/scan_lines_widget.h"

namespace norv::test {

inline bool WritePng(const TSLBMP& image, const std::string& path) {
  return SurfaceImage(image).save(QString::fromStdString(path), "PNG");
}

inline void MaybeWritePng(const TSLBMP& image, const std::string& name) {
  const char* dir = std::getenv("NORV_DISPLAY_PNG_DIR");
  if (dir == nullptr || *dir == '\0') return;
  WritePng(image, std::string(dir) + "/" + name + ".png");
}

}  // namespace norv::test
