#include "ui/MainWindowHeight.h"

#include "ui/Twips.h"

#include <algorithm>

namespace {

constexpr int kNormalHeight = 2115;
constexpr int kDebugHeight = 4095;
// The rows, in twips: the lower buttons end at 1455; the debug row spans 1920 to 3330.
constexpr int kButtonsBottom = 1455;
constexpr int kDebugRowTop = 1920;
constexpr int kDebugRowBottom = 3330;
// The controls keep 120 twips from the window's left edge; the same keeps them off the others.
constexpr int kMargin = 120;

} // namespace

int mainWindowClientHeight(bool debugMode, int framePixels)
{
    if (debugMode) {
        const int lowest = twipsToPixels(kDebugRowBottom + kMargin);
        if (framePixels <= 0)
            return lowest;
        return std::clamp(twipsToPixels(kDebugHeight) - framePixels, lowest,
                          twipsToPixels(kDebugRowBottom + 2 * kMargin));
    }
    if (framePixels <= 0)
        return twipsToPixels((kButtonsBottom + kDebugRowTop) / 2);
    return std::clamp(twipsToPixels(kNormalHeight) - framePixels, twipsToPixels(kButtonsBottom + kMargin),
                      twipsToPixels(kDebugRowTop - kMargin));
}
