#pragma once
// The program's text rasteriser: Liberation Sans with an 11-pixel face, no antialiasing,
// so screen texts keep the cell sizes they are laid out for.

#include <QFont>

#include "display/text_rasteriser.h"

namespace norv {

class TQtTextRasteriser final : public ITextRasteriser {
 public:
  TQtTextRasteriser();
  TTextExtent Measure(std::string_view text) const override;
  int CharAdvance(char32_t c) const override;
  TTextMask RenderMask(std::string_view text) const override;
  const QFont& Font() const { return font_; }

 private:
  QFont font_;
};

}  // namespace norv
