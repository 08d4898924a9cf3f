// The fixed look the forms were drawn with. Their layout is in fixed pixels over
// a light gradient, so neither the desktop's colour scheme nor its font size may
// reach them: a light palette, the small sans-serif face at a fixed pixel size,
// and a style that draws every control from that palette.
#pragma once

class QFont;
class QPalette;
class QStyle;
class QWidget;

namespace brevio::app {

// 8 pt at 96 dpi, held in pixels so that neither the desktop's font nor its dpi
// moves it.
inline constexpr int kDesignFontPixels = 11;

// The design's sans-serif face (installed everywhere Brevio is) at `pixels`.
QFont DesignFont(int pixels = kDesignFontPixels);

// The light scheme of the design: black text on white boxes and light grey
// buttons, pure blue links. Every role of every group is set.
QPalette DesignPalette();

// Fusion, one instance for the program: it ships with Qt itself, so it is there
// on every desktop, and it draws check boxes, frames and headers from the palette
// it is given, where a desktop's own style may draw them for its own scheme.
// Check boxes get a darker frame than Fusion's own. Null only if Qt was built
// without Fusion.
QStyle* DesignStyle();

// Gives `form` the design's palette, font and style. Call once in the form's
// constructor; controls created afterwards inherit palette and font, and take the
// style when the form is first polished (just before it is first shown). Child
// windows (file dialogs) keep the desktop's look.
void ApplyDesignLook(QWidget* form);

}  // namespace brevio::app
