// The dialog templates' own rules; how they look and read is for the Qt tests, what they do
// for the page tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <set>
#include <sstream>
#include <vector>

#include "res/icon128_xpm.h"
#include "res/resources.h"

using namespace platform::ui;

namespace {

// Step buttons form one column in this order, top to bottom.
const wchar_t* const STEPS[] = {L"+10", L"+1", L"-1", L"-10"};

struct Rect {
    int left, top, right, bottom;
};

// A drop-down list's template height includes its dropped list; closed it is 14 units high.
Rect ClosedRect(const ControlTemplate& c) {
    const int cy = c.kind == ControlKind::DropDownList ? std::min(c.cy, 14) : c.cy;
    return {c.x, c.y, c.x + c.cx, c.y + cy};
}
bool Intersects(const Rect& a, const Rect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}
bool Contains(const Rect& o, const Rect& i) {
    return o.left <= i.left && i.right <= o.right && o.top <= i.top && i.bottom <= o.bottom;
}

TEST(Resources, TemplatesAndIconAreWellFormedAndVisibleControlsDoNotOverlap) {
    const std::pair<int, const wchar_t*> templates[] = {
        {IDD_MAIN_PAGE, L"Main"},   {IDD_COMMON_PAGE, L"Common"},
        {IDD_SERVO_PAGE, L"Servo"}, {IDD_MODE1_PAGE, L"Mode1"},
        {IDD_MODE2_PAGE, L"Mode2"}, {IDD_FIRMWARE_PAGE, L"Firmware Update"},
        {IDD_SPLASH, L"Attention"}, {IDD_SPLASH_FW, L"Attention"}};
    for (const auto& [nId, pCaption] : templates) {
        SCOPED_TRACE(testing::Message() << "template " << nId);
        const DialogTemplate* dlg = FindDialogTemplate(nId);
        ASSERT_TRUE(dlg && dlg->nId == nId);
        EXPECT_TRUE(dlg->strCaption == pCaption && !dlg->strFontName.empty() &&
                    dlg->nPointSize > 0);
        std::set<int> ids;
        std::vector<const ControlTemplate*> shown;
        const ControlTemplate* pStep = nullptr;  // the last of the step column
        size_t nSteps = 0;
        for (const ControlTemplate& c : dlg->controls) {
            SCOPED_TRACE(testing::Message() << "control " << c.nId << " at " << c.x << "," << c.y);
            const bool bInteractive = c.kind != ControlKind::Static &&
                                      c.kind != ControlKind::GroupBox &&
                                      c.kind != ControlKind::ProgressBar;
            EXPECT_TRUE(c.nId == IDC_STATIC ? !bInteractive : ids.insert(c.nId).second);
            EXPECT_TRUE(c.cx > 0 && c.cy > 0 &&
                        Contains({0, 0, dlg->cx, dlg->cy}, {c.x, c.y, c.x + c.cx, c.y + c.cy}));
            EXPECT_EQ(bInteractive, (c.nStyle & STYLE_TABSTOP) != 0);
            // Labels with no id keep their text for good; buttons always say what they do.
            const bool bNeedsText = c.nId == IDC_STATIC || c.kind == ControlKind::PushButton ||
                                    c.kind == ControlKind::DefPushButton ||
                                    c.kind == ControlKind::PushLikeToggle;
            EXPECT_TRUE(!bNeedsText || !c.strText.empty());
            EXPECT_EQ(c.strText.find(L"\\n"), std::wstring::npos) << "escaped line break";
            if (nSteps < std::size(STEPS) && c.strText == STEPS[nSteps]) {
                EXPECT_TRUE(!pStep || (c.x == pStep->x && c.y >= pStep->y + pStep->cy));
                pStep = &c;
                ++nSteps;
            }
            if (c.nStyle & STYLE_HIDDEN)
                continue;
            // A group box holds a control whole or leaves it outside.
            for (const ControlTemplate* pOther : shown) {
                const Rect a = ClosedRect(c), b = ClosedRect(*pOther);
                const bool bGroup =
                    c.kind == ControlKind::GroupBox || pOther->kind == ControlKind::GroupBox;
                EXPECT_TRUE(!Intersects(a, b) || (bGroup && (Contains(a, b) || Contains(b, a))))
                    << "overlaps " << pOther->nId << " at " << b.left << "," << b.top;
            }
            shown.push_back(&c);
        }
        EXPECT_TRUE(nSteps == 0 || nSteps == 4);
    }
    // The icon's XPM lines follow its header: the colours, then rows of the width given.
    int w = 0, h = 0, nColours = 0, nCpp = 0;
    ASSERT_TRUE(std::istringstream(kIcon128Xpm[0]) >> w >> h >> nColours >> nCpp);
    ASSERT_EQ(std::size(kIcon128Xpm), static_cast<size_t>(1 + nColours + h));
    EXPECT_TRUE(std::all_of(kIcon128Xpm + 1 + nColours, std::end(kIcon128Xpm), [&](const char* p) {
        return std::strlen(p) == static_cast<size_t>(w * nCpp);
    }));
}

}  // namespace
