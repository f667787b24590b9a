// The main dialog's skin: the language module's images, which cells of the button and slider
// sheets each skinned control of template 582 shows, how each control is bound and set up,
// where each sits in the strip, and the strip's background. The dialog skins itself with it;
// the controls' tests and benchmark skin their windows of the same template with it, so that
// they see the controls as the reader shows them.
#pragma once

#include <afxcmn.h>

#include <memory>

#include "ClodSliderCtrl.h"
#include "HyperlinkStatic.h"
#include "SkinButton.h"
#include "TTComboBox.h"
#include "draw_helpers.h"

namespace orv_reader {

// The skinned controls of a window made from template 582: members of that window.
struct DialogControls {
  CSkinButton& language;        // 1216
  CTTComboBox& voices;          // 1177
  CSkinButton& read;            // 1204
  CSkinButton& stop;            // 1205
  CSkinButton& launch;          // 1226
  CSkinButton& close;           // 1027
  CSkinButton& minimize;        // 1029
  CPngClodSliderCtrl& speed;    // 1001
  CPngClodSliderCtrl& volume;   // 1000
  CSkinButton& fold;            // 1030
  CSkinButton& lexicon;         // 1214
  CHyperlinkStatic& siteLink;   // 1221: bound, never shown
  CHyperlinkStatic& voiceLink;  // 1222
  CSkinButton& voiceTypeIcon;   // 1223
};

class DialogSkin {
 public:
  // Left edges of glyphs in the button sheet: the read button's read (idle, paused) and pause
  // (speaking), the fold button's fold (unfolded) and unfold (folded).
  static constexpr int kReadGlyphLeft = 22;
  static constexpr int kPauseGlyphLeft = 0;
  static constexpr int kFoldGlyphLeft = 77;
  static constexpr int kUnfoldGlyphLeft = 66;

  // Binds each control to its item of the template (the window's data exchange).
  static void Bind(CDataExchange* pDX, const DialogControls& controls);
  // Moves every look of the button (not its busy animation) to another glyph of the same row.
  static void ShowGlyph(CSkinButton& button, int left);

  // Loads the images from the resource module (the language module). A module without some of
  // them keeps the skin's own sizes, so that the layout still holds.
  void Load();
  // Gives the controls their looks, texts, tooltips and ranges; those whose background is the
  // window's skin join the painter. After Load.
  void Apply(const DialogControls& controls, draw_helpers::SkinBackgroundPainter& painter);
  // Places the template's items of the window in the strip; answers the unfolded strip's width.
  int LayOut(CWnd& window) const;
  // Draws the strip's background of the window (its items placed) at its window size; folded
  // leaves out what lies beyond the folded strip.
  void Draw(CDC& dc, CWnd& window, bool folded) const;
  // The voice-type icon of a voice of `type`, from the sheet of the second generation of voices
  // or of the first.
  void ShowVoiceType(CSkinButton& icon, int type, bool secondGeneration) const;

  int SeparatorWidth() const { return m_separatorWidth; }  // T
  int BodyHeight() const { return m_bodyHeight; }          // H
  Gdiplus::Image* ButtonSheet() const { return m_buttons.image; }
  Gdiplus::Image* SliderSheet() const { return m_slider.image; }
  // The read button's busy animation; null before Apply or when the module has none.
  draw_helpers::CImageAnimation2* ReadBusy() const { return m_readBusy.get(); }

 private:
  draw_helpers::ImageBuffer m_left;       // 611
  draw_helpers::ImageBuffer m_middle;     // 612
  draw_helpers::ImageBuffer m_right;      // 607
  draw_helpers::ImageBuffer m_separator;  // 609
  draw_helpers::ImageBuffer m_speed;      // 617
  draw_helpers::ImageBuffer m_volume;     // 613
  draw_helpers::ImageBuffer m_buttons;    // 608
  draw_helpers::ImageBuffer m_slider;     // 616
  draw_helpers::ImageBuffer m_types1st;   // 721
  draw_helpers::ImageBuffer m_types;      // 738
  int m_separatorWidth = 2;
  int m_bodyHeight = 34;
  std::shared_ptr<draw_helpers::CImageAnimation2> m_readBusy;
};

}  // namespace orv_reader
