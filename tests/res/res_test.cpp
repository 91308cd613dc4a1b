#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "res/icon128_xpm.h"
#include "res/resources.h"

using namespace platform::ui;

namespace {

constexpr int kTemplateIds[] = {IDD_MAIN_PAGE,  IDD_COMMON_PAGE,   IDD_SERVO_PAGE, IDD_MODE1_PAGE,
                                IDD_MODE2_PAGE, IDD_FIRMWARE_PAGE, IDD_SPLASH,     IDD_SPLASH_FW};

// A drop-down list's template height includes its dropped list; closed it is one line high.
constexpr int kClosedDropListHeight = 14;

struct Rect {
    int left, top, right, bottom;
};

Rect ClosedRect(const ControlTemplate& c) {
    int cy = c.kind == ControlKind::DropDownList ? std::min(c.cy, kClosedDropListHeight) : c.cy;
    return {c.x, c.y, c.x + c.cx, c.y + cy};
}
bool Intersects(const Rect& a, const Rect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}
bool Contains(const Rect& o, const Rect& i) {
    return o.left <= i.left && i.right <= o.right && o.top <= i.top && i.bottom <= o.bottom;
}
bool IsInteractive(const ControlTemplate& c) {
    return c.kind != ControlKind::Static && c.kind != ControlKind::GroupBox &&
           c.kind != ControlKind::ProgressBar;
}
const ControlTemplate* Find(const DialogTemplate& dlg, int nId, const std::wstring& text = {}) {
    auto it = std::find_if(dlg.controls.begin(), dlg.controls.end(), [&](const auto& c) {
        return text.empty() ? c.nId == nId : c.strText == text;
    });
    return it == dlg.controls.end() ? nullptr : &*it;
}

TEST(DialogTemplates, EveryNumberFindsItsOwnTemplateAndNoOther) {
    for (int nId : kTemplateIds) {
        const DialogTemplate* dlg = FindDialogTemplate(nId);
        ASSERT_NE(dlg, nullptr) << nId;
        EXPECT_EQ(dlg->nId, nId);
    }
    for (int nId : {0, -1, 1, 102, 108, 128, 131, 135}) {
        EXPECT_EQ(FindDialogTemplate(nId), nullptr) << nId;
    }
}

class EachTemplate : public ::testing::TestWithParam<int> {
  protected:
    void SetUp() override { ASSERT_NE(FindDialogTemplate(GetParam()), nullptr); }
    const DialogTemplate& Dlg() const { return *FindDialogTemplate(GetParam()); }
};

TEST_P(EachTemplate, IsWellFormed) {
    const DialogTemplate& dlg = Dlg();
    EXPECT_FALSE(dlg.strCaption.empty() || dlg.strFontName.empty() || dlg.controls.empty());
    EXPECT_GT(dlg.nPointSize, 0);
    std::set<int> ids;
    for (const ControlTemplate& c : dlg.controls) {
        SCOPED_TRACE(testing::Message() << "control " << c.nId << " at " << c.x << "," << c.y);
        EXPECT_TRUE(c.nId == IDC_STATIC || ids.insert(c.nId).second) << "duplicate id";
        EXPECT_TRUE(c.cx > 0 && c.cy > 0 &&
                    Contains({0, 0, dlg.cx, dlg.cy}, {c.x, c.y, c.x + c.cx, c.y + c.cy}));
        EXPECT_EQ(IsInteractive(c), (c.nStyle & STYLE_TABSTOP) != 0);
        EXPECT_TRUE(!IsInteractive(c) || c.nId != IDC_STATIC);
        // Labels with no id keep their text for good; buttons always say what they do.
        bool bNeedsText = c.nId == IDC_STATIC || c.kind == ControlKind::PushButton ||
                          c.kind == ControlKind::DefPushButton ||
                          c.kind == ControlKind::PushLikeToggle;
        EXPECT_TRUE(!bNeedsText || !c.strText.empty());
        EXPECT_EQ(c.strText.find(L"\\n"), std::wstring::npos) << "escaped line break";
        EXPECT_NE(c.nStyle & (STYLE_CENTER | STYLE_RIGHT), STYLE_CENTER | STYLE_RIGHT);
    }
}

TEST_P(EachTemplate, VisibleControlsDoNotOverlap) {
    std::vector<const ControlTemplate*> shown;
    for (const ControlTemplate& c : Dlg().controls) {
        if (!(c.nStyle & STYLE_HIDDEN)) {
            shown.push_back(&c);
        }
    }
    for (size_t i = 0; i < shown.size(); ++i) {
        for (size_t j = i + 1; j < shown.size(); ++j) {
            const Rect a = ClosedRect(*shown[i]), b = ClosedRect(*shown[j]);
            bool bGroup =
                shown[i]->kind == ControlKind::GroupBox || shown[j]->kind == ControlKind::GroupBox;
            // A group box holds a control whole or leaves it outside.
            EXPECT_TRUE(!Intersects(a, b) || (bGroup && (Contains(a, b) || Contains(b, a))))
                << "at " << a.left << "," << a.top << " and " << b.left << "," << b.top;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Resources, EachTemplate, ::testing::ValuesIn(kTemplateIds));

TEST(StepButtons, FormOneColumnInPlusTenToMinusTenOrder) {
    for (int nId : {IDD_COMMON_PAGE, IDD_SERVO_PAGE, IDD_MODE1_PAGE, IDD_MODE2_PAGE}) {
        const ControlTemplate* prev = nullptr;
        for (const wchar_t* text : {L"+10", L"+1", L"-1", L"-10"}) {
            const ControlTemplate* c = Find(*FindDialogTemplate(nId), 0, text);
            ASSERT_TRUE(c && c->kind == ControlKind::PushButton) << nId << " lacks " << text;
            EXPECT_TRUE(!prev || (c->x == prev->x && c->y >= prev->y + prev->cy)) << nId;
            prev = c;
        }
    }
}

TEST(AgreementDialogs, OnlyTheVisibleAgreeButtonLeadsOnAndClosingTextsMatch) {
    auto texts = [](const DialogTemplate& dlg) {
        std::vector<std::wstring> out;
        for (const ControlTemplate& c : dlg.controls) {
            if (c.kind == ControlKind::Static) {
                out.push_back(c.strText);
            }
        }
        return out;
    };
    for (int nId : {IDD_SPLASH, IDD_SPLASH_FW}) {
        const DialogTemplate& dlg = *FindDialogTemplate(nId);
        const ControlTemplate *agree = Find(dlg, 1040), *cancel = Find(dlg, IDCANCEL);
        ASSERT_TRUE(agree && cancel) << nId;
        EXPECT_FALSE((agree->nStyle | cancel->nStyle) & (STYLE_HIDDEN | STYLE_DISABLED));
        // An OK from anywhere but "I Agree" ends the dialog without agreement.
        EXPECT_TRUE(!Find(dlg, IDOK) || (Find(dlg, IDOK)->nStyle & STYLE_HIDDEN)) << nId;
    }
    const auto config = texts(*FindDialogTemplate(IDD_SPLASH));
    const auto firmware = texts(*FindDialogTemplate(IDD_SPLASH_FW));
    ASSERT_TRUE(config.size() == 3 && firmware.size() == 3);
    EXPECT_TRUE(config[0] != firmware[0] && config[1] == firmware[1] && config[2] == firmware[2]);
    EXPECT_NE(config[2].find(L".\n\nYou"), std::wstring::npos);
}

TEST(StringTable, HoldsTheSheetTitleOnly) {
    EXPECT_EQ(LoadResourceString(IDS_SHEET_TITLE), L"Morvane RC Gyro Tools");
    EXPECT_TRUE(LoadResourceString(0).empty() && LoadResourceString(IDS_SHEET_TITLE + 1).empty());
}

TEST(Icon, Number128IsAConsistentTransparentXpm) {
    EXPECT_TRUE(LoadIconXpm(0) == nullptr && LoadIconXpm(IDR_MAINFRAME + 1) == nullptr);
    const char* const* xpm = LoadIconXpm(IDR_MAINFRAME);
    ASSERT_EQ(xpm, kIcon128Xpm);
    int w = 0, h = 0, nColours = 0, cpp = 0;
    ASSERT_TRUE(std::istringstream(xpm[0]) >> w >> h >> nColours >> cpp);
    ASSERT_TRUE(w == 32 && h == 32 && nColours >= 2 && cpp >= 1);
    ASSERT_EQ(std::size(kIcon128Xpm), static_cast<size_t>(1 + nColours + h));

    std::set<std::string> keys;
    std::string transparent;
    for (int i = 1; i <= nColours; ++i) {
        const std::string line = xpm[i];
        std::string visual, value;
        ASSERT_TRUE(std::istringstream(line.substr(cpp)) >> visual >> value) << line;
        EXPECT_TRUE(visual == "c" && (value == "None" || value.size() == 7)) << line;
        EXPECT_TRUE(keys.insert(line.substr(0, cpp)).second) << "key twice: " << line;
        transparent = value == "None" ? line.substr(0, cpp) : transparent;
    }
    ASSERT_FALSE(transparent.empty());
    int nOpaque = 0;
    for (int y = 0; y < h; ++y) {
        const std::string row = xpm[1 + nColours + y];
        ASSERT_EQ(row.size(), static_cast<size_t>(w * cpp)) << "row " << y;
        for (size_t x = 0; x < row.size(); x += cpp) {
            EXPECT_TRUE(keys.count(row.substr(x, cpp))) << "undefined colour in row " << y;
            nOpaque += row.substr(x, cpp) != transparent;
        }
    }
    EXPECT_EQ(std::string(xpm[1 + nColours]).substr(0, cpp), transparent) << "corner";
    EXPECT_TRUE(nOpaque > w * h / 4 && nOpaque < w * h) << nOpaque << " opaque pixels";
}

}  // namespace
