// Dialog templates: a dialog or property page as the resource file describes it, in dialog
// units (a quarter of the font's average character width across, an eighth of its height
// down), with the font it is laid out for and every control's id, kind, text and style.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform::ui {

enum class ControlKind {
    GroupBox,
    Static,
    Edit,
    PushButton,
    DefPushButton,   // default push button: carries Enter's command
    PushLikeToggle,  // auto check box drawn as a button
    DropDownList,    // combo box without an edit field; height includes the dropped list
    ListBox,
    Trackbar,
    ProgressBar,
};

// Style flags, combined with |.
enum : uint32_t {
    STYLE_DISABLED = 1u << 0,
    STYLE_HIDDEN = 1u << 1,
    STYLE_CENTER = 1u << 2,    // static text centred
    STYLE_RIGHT = 1u << 3,     // static text right-aligned
    STYLE_READONLY = 1u << 4,  // edit
    STYLE_NUMBER = 1u << 5,    // edit takes digits only
    STYLE_TABSTOP = 1u << 6,
    STYLE_VSCROLL = 1u << 7,  // list or combo with a scroll bar
    STYLE_SORT = 1u << 8,     // list or combo sorted
    STYLE_BORDER = 1u << 9,
    STYLE_SMOOTH = 1u << 10,     // progress bar without segments
    STYLE_AUTOTICKS = 1u << 11,  // trackbar with tick marks
    STYLE_MULTILINE = 1u << 12,  // edit
    STYLE_AUTOHSCROLL = 1u << 13,
    STYLE_NOTIFY = 1u << 14,  // list box notifies the parent
};

// Controls without an id of their own (labels, group boxes) use this.
constexpr int IDC_STATIC = -1;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

struct ControlTemplate {
    int nId = IDC_STATIC;
    ControlKind kind = ControlKind::Static;
    std::wstring strText;
    int x = 0, y = 0, cx = 0, cy = 0;
    uint32_t nStyle = 0;
};

struct DialogTemplate {
    int nId = 0;
    std::wstring strCaption;  // a property page's caption is its tab title
    int cx = 0, cy = 0;
    std::wstring strFontName;
    int nPointSize = 8;
    std::vector<ControlTemplate> controls;
};

}  // namespace platform::ui
