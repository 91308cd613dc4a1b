// Texts the Qt backend derives from templates and the handheld's formats, free of Qt so that
// they read as plain rules: accessible names, file-dialog filters, captions.
#pragma once

#include <string>
#include <vector>

#include "platform/ui/dialog_template.h"

namespace platform::qt {

// A caption as shown: "&" marks removed ("&&" stays a single "&").
std::wstring DisplayText(const std::wstring& strCaption);

// A caption as a name: as shown, on one line.
std::wstring CaptionName(const std::wstring& strCaption);

// The name a screen reader gives each control of a dialog, in template order.
//  - Buttons, toggles, group boxes and static labels: their own caption (CaptionName); the
//    Qt backend renames them when code changes the caption.
//  - Controls that hold a value (edit, drop-down list, list box, trackbar, progress bar, and a
//    static with an id, whose text changes): the static label that names it, looked for in
//    this order: on the same row just left of it; just above it, unless that label already
//    names the control on its right; just below it. Then the title of the group box around
//    it. Then "Status" for a static with an id, else the kind and the id ("List 1045").
//    A label's text names them without a trailing colon.
std::vector<std::wstring> AccessibleNames(const ui::DialogTemplate& dlg);

// The handheld's filter ("Firmware Files (*.fwr)|*.fwr||") in Qt's form
// ("Firmware Files (*.fwr)"), filters separated by ";;". A description without its
// patterns in parentheses gets them appended.
std::wstring QtFileFilter(const std::wstring& strFilter);

}  // namespace platform::qt
