// How iOS 15 draws what the stand-ins do not model, in its light appearance: the status bar, the bar
// and table chrome, section headers and footers, separators, accessories and the switch. Sizes are in
// points.
#pragma once

#include "canvas/canvas.h"

namespace sim::pictures::ios {

// Colours (UIKit's semantic colours, light appearance).
constexpr Colour kLabel = rgb(0, 0, 0);
constexpr Colour kSecondaryLabel = rgb(60, 60, 67, 0.6);
constexpr Colour kTertiaryLabel = rgb(60, 60, 67, 0.3);
constexpr Colour kGroupedBackground = rgb(242, 242, 247);    // systemGroupedBackground
constexpr Colour kCellBackground = rgb(255, 255, 255);       // secondarySystemGroupedBackground
constexpr Colour kSeparator = rgb(198, 198, 200);            // opaqueSeparator
constexpr Colour kBarBackground = rgb(249, 249, 249, 0.94);  // the bar's default material, flattened
constexpr Colour kBarHairline = rgb(0, 0, 0, 0.3);
constexpr Colour kSwitchOnDefault = rgb(52, 199, 89);        // systemGreen, a switch's default onTintColor
constexpr Colour kSwitchOffTrack = rgb(233, 233, 235);       // systemFill over white
constexpr Colour kSliderTrack = rgb(120, 120, 128, 0.2);
constexpr Colour kWhite = rgb(255, 255, 255);

// Chrome.
inline double statusBarHeight(double screenWidth) { return screenWidth > 375 ? 47 : 20; }
constexpr double kNavigationBarHeight = 44;
constexpr double kBarTitleSize = 17;        // semibold
constexpr double kBarButtonSize = 17;
constexpr double kStatusTimeSize = 15;      // semibold

// Table chrome: the cells' layout margin is 20 points on the widest phones, 16 otherwise.
inline double layoutMargin(double screenWidth) { return screenWidth >= 414 ? 20 : 16; }
constexpr double kInsetGroupedMargin = 20;  // inset grouped sections stand this far in from the edges
constexpr double kInsetGroupedRadius = 10;
constexpr double kSectionTitleSize = 13;    // headers in capitals, footers as written
constexpr double kHeaderWithTitle = 38;     // header height; its text sits 6 points above the rows
constexpr double kHeaderWithoutTitle = 35;
constexpr double kFooterTop = 6;
constexpr double kFooterBottom = 14;
constexpr double kGapWithoutFooter = 0;
constexpr double kBottomInset = 34;

// Accessories.
constexpr double kChevronWidth = 8, kChevronHeight = 13.5, kChevronGap = 12;
constexpr double kDetailGap = 8;            // between a row's title and its value

}  // namespace sim::pictures::ios
