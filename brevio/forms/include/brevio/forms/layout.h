// Where the controls of frmMain and frmAbout lie, in twips as designed, and
// the colours and captions both faces draw. Faces convert twips to pixels:
// 15 twips per pixel at 96 dots per inch.
#pragma once

#include <cstdint>

namespace brevio::forms {

inline constexpr int kTwipsPerPixelAt96 = 15;

struct TwipsRect {
  int left, top, width, height;
};

enum class ControlKind { kEdit, kButton, kLabel, kList, kCheck };

struct ControlPlace {
  const char* name;  // the control's name (Qt object name; test lookup)
  ControlKind kind;
  const char* caption;  // "&" marks the access key
  TwipsRect twips;
  const char* accessible;  // what a screen reader says; null: the caption
  int id;                  // the control's identifier on Windows
};

// frmMain's client area and background.
inline constexpr int kClientWidthTwips = 8895;
inline constexpr int kClientHeightTwips = 6735;
inline constexpr std::uint32_t kGradientStart = 0xFFF6EB;    // RGB(235, 246, 255)
inline constexpr std::uint32_t kGradientEnd = 16700313;      // RGB(153, 211, 254)
inline constexpr std::uint32_t kFormBackground = 0xF0F0F0;   // under the gradient
inline constexpr std::uint32_t kOutputBoxColour = 0xFEDBAB;  // RGB(171, 219, 254)

// frmMain's controls in tab order. The single-file group lies below the
// visible edge and is reached with Tab.
inline constexpr ControlPlace kMainControls[] = {
    {"txtOpen",
     ControlKind::kEdit,
     "C:\\Important\\share2\\index.html",
     {960, 8040, 4695, 285},
     "Source file",
     1001},
    {"cmdOpen", ControlKind::kButton, "Open...", {5760, 8040, 735, 285}, nullptr, 1002},
    {"txtSave", ControlKind::kEdit, "", {960, 8520, 4695, 285}, "Target file", 1003},
    {"cmdSave", ControlKind::kButton, "Save...", {5760, 8520, 735, 285}, nullptr, 1004},
    {"lblLenOpen",
     ControlKind::kLabel,
     "File Len:",
     {6840, 8040, 600, 195},
     "Source file length",
     1005},
    {"lblLenSave",
     ControlKind::kLabel,
     "File Len:",
     {6840, 8520, 600, 195},
     "Target file length",
     1006},
    {"cmdTrim", ControlKind::kButton, "Trim", {4080, 9120, 1695, 375}, "Trim single file", 1007},
    {"ListView1", ControlKind::kList, "", {240, 240, 8415, 4815}, "Files to trim", 1008},
    {"txtOutput", ControlKind::kEdit, "", {240, 5160, 6375, 285}, "Output folder", 1009},
    {"cmdOutput",
     ControlKind::kButton,
     "Set Output &Folder...",
     {6720, 5160, 1935, 285},
     nullptr,
     1010},
    // In the band between the output row and the separator, clear of both at
    // every resolution.
    {"chkKeep",
     ControlKind::kCheck,
     "Keep &preformatted text, scripts and attribute values",
     {240, 5460, 6375, 270},
     nullptr,
     1017},
    {"cmdAdd", ControlKind::kButton, "&Add...", {240, 6000, 1215, 330}, nullptr, 1011},
    {"cmdRemove", ControlKind::kButton, "&Remove", {1680, 6000, 1215, 330}, nullptr, 1012},
    {"cmdHelp", ControlKind::kButton, "&Help", {3120, 6000, 1215, 330}, nullptr, 1013},
    {"cmdAbout", ControlKind::kButton, "A&bout...", {4560, 6000, 1215, 330}, nullptr, 1014},
    {"cmdTrim2", ControlKind::kButton, "&Trim", {6000, 6000, 1215, 330}, nullptr, 1015},
    {"cmdExit", ControlKind::kButton, "&Exit", {7440, 6000, 1215, 330}, nullptr, 1016},
};

// ListView1's columns: captions and widths in pixels at 96 dots per inch.
// "#" and "Source Files" are aligned left, the numbers right.
struct ColumnPlace {
  const char* caption;
  int width;
  bool right_aligned;
};
inline constexpr ColumnPlace kListColumns[] = {
    {"#", 61, false},
    {"Source Files", 160, false},
    {"Source Sizes", 100, true},
    {"Target Sizes", 100, true},
    {"Compression", 100, true},
};

// The two separator lines above the buttons, in twips (clipped by the window).
struct LinePlace {
  const char* name;
  int x1, y1, x2, y2;
  std::uint32_t colour;  // 0x00BBGGRR
};
inline constexpr LinePlace kMainLines[] = {
    {"Line1", -720, 5760, 9840, 5760, 0x808080},
    {"Line2", -600, 5775, 9960, 5775, 0xFFFFFF},
};

// frmAbout.
inline constexpr int kAboutWidthTwips = 6030;
inline constexpr int kAboutHeightTwips = 3195;
inline constexpr const char* kAboutTitle = "About Brevio";
inline constexpr const char* kAboutText =
    "This free software may trim your web pages like HTML, ASP, PHP, etc. Remove unwanted "
    "characters from your web pages, make your web page files clean and save bandwidth.";
inline constexpr ControlPlace kAboutControls[] = {
    {"OKButton", ControlKind::kButton, "OK", {4560, 240, 1215, 375}, nullptr, 2001},
    {"Label1", ControlKind::kLabel, "", {960, 240, 1605, 240}, nullptr, 2002},  // bold, 9.75 pt
    {"Label2", ControlKind::kLabel, "", {960, 720, 3375, 975}, nullptr, 2003},  // wraps
    {"Label3", ControlKind::kLabel, "Website:", {960, 1920, 630, 195}, nullptr, 2004},
    {"Label4", ControlKind::kLabel, "Support:", {960, 2280, 600, 195}, nullptr, 2005},
    {"Label5", ControlKind::kLabel, "", {1800, 1920, 2610, 195}, nullptr, 2006},  // blue link
    {"Label6", ControlKind::kLabel, "", {1800, 2280, 2385, 195}, nullptr, 2007},
    {"Image1", ControlKind::kLabel, "", {240, 240, 480, 480}, "Brevio icon", 2008},  // 32 x 32 icon
};

// The program's title on every message box.
inline constexpr const char* kProgramTitle = "Brevio";

}  // namespace brevio::forms
