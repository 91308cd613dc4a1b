#include "platform/qt/dialog_texts.h"

#include <algorithm>
#include <cwctype>
#include <optional>
#include <set>

namespace platform::qt {

using ui::ControlKind;
using ui::ControlTemplate;
using ui::DialogTemplate;

namespace {

// How far, in dialog units, a label may stand from the control it names.
constexpr int LEFT_GAP_MAX = 30;
constexpr int VERTICAL_GAP_MAX = 8;
// Labels may overlap their control's edge by this much.
constexpr int EDGE_SLACK = 2;
// A drop-down list's template height includes its dropped list.
constexpr int CLOSED_DROPDOWN_CY = 14;

struct Box {
    int nLeft, nTop, nRight, nBottom;
};

Box BoxOf(const ControlTemplate& c) {
    const int cy = c.kind == ControlKind::DropDownList ? std::min(c.cy, CLOSED_DROPDOWN_CY) : c.cy;
    return {c.x, c.y, c.x + c.cx, c.y + cy};
}

bool RowsOverlap(const Box& a, const Box& b) {
    return a.nTop < b.nBottom && b.nTop < a.nBottom;
}

bool ColumnsOverlap(const Box& a, const Box& b) {
    return a.nLeft < b.nRight && b.nLeft < a.nRight;
}

std::wstring Trim(const std::wstring& str) {
    size_t nFirst = 0;
    size_t nLast = str.size();
    while (nFirst < nLast && std::iswspace(static_cast<wint_t>(str[nFirst])))
        ++nFirst;
    while (nLast > nFirst && std::iswspace(static_cast<wint_t>(str[nLast - 1])))
        --nLast;
    return str.substr(nFirst, nLast - nFirst);
}

// A label's text as the name of the control it labels: without a trailing colon.
std::wstring LabelName(const std::wstring& strText) {
    std::wstring str = CaptionName(strText);
    while (!str.empty() && str.back() == L':')
        str.pop_back();
    return Trim(str);
}

bool IsLabel(const ControlTemplate& c) {
    return c.kind == ControlKind::Static && c.nId == ui::IDC_STATIC &&
           !LabelName(c.strText).empty();
}

bool HoldsValue(const ControlTemplate& c) {
    switch (c.kind) {
        case ControlKind::Edit:
        case ControlKind::DropDownList:
        case ControlKind::ListBox:
        case ControlKind::Trackbar:
        case ControlKind::ProgressBar:
            return true;
        case ControlKind::Static:
            return c.nId != ui::IDC_STATIC;
        default:
            return false;
    }
}

const wchar_t* KindName(ControlKind kind) {
    switch (kind) {
        case ControlKind::Edit:
            return L"Edit";
        case ControlKind::DropDownList:
            return L"Drop-down list";
        case ControlKind::ListBox:
            return L"List";
        case ControlKind::Trackbar:
            return L"Slider";
        case ControlKind::ProgressBar:
            return L"Progress";
        default:
            return L"Control";
    }
}

// The nearest label by a distance that the measure gives (nullopt: not a candidate).
template <typename Measure>
std::optional<size_t> Nearest(const DialogTemplate& dlg, Measure measure) {
    std::optional<size_t> best;
    int nBestGap = 0;
    for (size_t i = 0; i < dlg.controls.size(); ++i) {
        if (!IsLabel(dlg.controls[i]))
            continue;
        const std::optional<int> gap = measure(BoxOf(dlg.controls[i]));
        if (gap && (!best || *gap < nBestGap)) {
            best = i;
            nBestGap = *gap;
        }
    }
    return best;
}

std::optional<size_t> LabelLeftOf(const DialogTemplate& dlg, const Box& box) {
    return Nearest(dlg, [&](const Box& label) -> std::optional<int> {
        const int nGap = box.nLeft - label.nRight;
        if (!RowsOverlap(label, box) || nGap < -EDGE_SLACK || nGap > LEFT_GAP_MAX)
            return std::nullopt;
        return nGap;
    });
}

std::optional<size_t> LabelAbove(const DialogTemplate& dlg, const Box& box) {
    return Nearest(dlg, [&](const Box& label) -> std::optional<int> {
        const int nGap = box.nTop - label.nBottom;
        if (!ColumnsOverlap(label, box) || nGap < -EDGE_SLACK || nGap > VERTICAL_GAP_MAX)
            return std::nullopt;
        return nGap;
    });
}

std::optional<size_t> LabelBelow(const DialogTemplate& dlg, const Box& box) {
    return Nearest(dlg, [&](const Box& label) -> std::optional<int> {
        const int nGap = label.nTop - box.nBottom;
        if (!ColumnsOverlap(label, box) || nGap < -EDGE_SLACK || nGap > VERTICAL_GAP_MAX)
            return std::nullopt;
        return nGap;
    });
}

// The innermost group box around the control.
std::optional<size_t> GroupAround(const DialogTemplate& dlg, const Box& box) {
    std::optional<size_t> best;
    long nBestArea = 0;
    for (size_t i = 0; i < dlg.controls.size(); ++i) {
        const ControlTemplate& c = dlg.controls[i];
        if (c.kind != ControlKind::GroupBox || LabelName(c.strText).empty())
            continue;
        const Box group = BoxOf(c);
        if (box.nLeft < group.nLeft || box.nRight > group.nRight || box.nTop < group.nTop ||
            box.nBottom > group.nBottom)
            continue;
        const long nArea = static_cast<long>(c.cx) * c.cy;
        if (!best || nArea < nBestArea) {
            best = i;
            nBestArea = nArea;
        }
    }
    return best;
}

}  // namespace

std::wstring DisplayText(const std::wstring& strCaption) {
    std::wstring str;
    str.reserve(strCaption.size());
    for (size_t i = 0; i < strCaption.size(); ++i) {
        if (strCaption[i] == L'&') {
            if (i + 1 < strCaption.size() && strCaption[i + 1] == L'&')
                str += strCaption[++i];
            continue;
        }
        str += strCaption[i];
    }
    return str;
}

std::wstring CaptionName(const std::wstring& strCaption) {
    std::wstring str = DisplayText(strCaption);
    std::replace_if(
        str.begin(), str.end(), [](wchar_t ch) { return ch == L'\n' || ch == L'\r'; }, L' ');
    return Trim(str);
}

std::vector<std::wstring> AccessibleNames(const DialogTemplate& dlg) {
    const auto& controls = dlg.controls;
    // Labels that name the value control on their right are that row's labels.
    std::set<size_t> rowLabels;
    for (const ControlTemplate& c : controls)
        if (HoldsValue(c))
            if (const auto label = LabelLeftOf(dlg, BoxOf(c)))
                rowLabels.insert(*label);

    std::vector<std::wstring> names;
    names.reserve(controls.size());
    for (const ControlTemplate& c : controls) {
        if (!HoldsValue(c)) {
            names.push_back(CaptionName(c.strText));
            continue;
        }
        const Box box = BoxOf(c);
        std::optional<size_t> label = LabelLeftOf(dlg, box);
        if (!label) {
            label = LabelAbove(dlg, box);
            if (label && rowLabels.count(*label))
                label.reset();
        }
        if (!label)
            label = LabelBelow(dlg, box);
        if (!label)
            label = GroupAround(dlg, box);
        if (label)
            names.push_back(LabelName(controls[*label].strText));
        else if (c.kind == ControlKind::Static)
            names.push_back(L"Status");
        else
            names.push_back(std::wstring(KindName(c.kind)) + L" " + std::to_wstring(c.nId));
    }
    return names;
}

std::wstring QtFileFilter(const std::wstring& strFilter) {
    std::vector<std::wstring> parts;
    size_t nStart = 0;
    while (nStart <= strFilter.size()) {
        const size_t nBar = strFilter.find(L'|', nStart);
        const size_t nEnd = nBar == std::wstring::npos ? strFilter.size() : nBar;
        parts.push_back(strFilter.substr(nStart, nEnd - nStart));
        if (nBar == std::wstring::npos)
            break;
        nStart = nBar + 1;
    }
    std::wstring strResult;
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        std::wstring strDescription = Trim(parts[i]);
        std::wstring strPatterns = Trim(parts[i + 1]);
        if (strDescription.empty() || strPatterns.empty())
            break;
        // The patterns in the description are shown again from the pattern part, which rules.
        std::replace(strPatterns.begin(), strPatterns.end(), L';', L' ');
        if (strDescription.back() == L')') {
            const size_t nOpen = strDescription.rfind(L'(');
            if (nOpen != std::wstring::npos)
                strDescription = Trim(strDescription.substr(0, nOpen));
            if (strDescription.empty())
                strDescription = strPatterns;
        }
        if (!strResult.empty())
            strResult += L";;";
        strResult += strDescription + L" (" + strPatterns + L")";
    }
    return strResult;
}

}  // namespace platform::qt
