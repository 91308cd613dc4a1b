#include "platform/headless/headless_ui.h"

namespace platform::headless {

HeadlessUiHost::HeadlessUiHost(EventLoop& loop) : m_loop(loop) {}

HeadlessUiHost::~HeadlessUiHost() = default;

void HeadlessUiHost::SetDialogResponder(int nTemplateId, DialogResponder responder) {
    m_dialogResponders[nTemplateId] = std::move(responder);
}

void HeadlessUiHost::Unexpected(const std::wstring& strWhat) {
    if (m_unexpected)
        m_unexpected(strWhat);
}

int HeadlessUiHost::RunMessageBox(ui::CDialog* pOwner, const std::wstring& strText,
                                  const std::wstring& strCaption, unsigned nType) {
    ShownMessageBox box{strText,        strCaption, nType, pOwner ? pOwner->TemplateId() : 0,
                        m_loop.NowMs(), 0};
    // The plain answer of each kind of box: its first button.
    const unsigned nButtons = nType & ui::MB_TYPEMASK;
    int nAnswer = nButtons == ui::MB_YESNO ? ui::IDYES : ui::IDOK;
    ++m_nModalDepth;
    if (m_messageBoxResponder)
        nAnswer = m_messageBoxResponder(box);
    else
        Unexpected(L"message box \"" + strText + L"\"");
    --m_nModalDepth;
    box.nAnswer = nAnswer;
    m_boxes.push_back(box);
    return nAnswer;
}

int HeadlessUiHost::RunModalDialog(ui::CDialog& dlg) {
    m_dialogs.push_back(dlg.TemplateId());
    ++m_nModalDepth;
    dlg.Create();
    const auto it = m_dialogResponders.find(dlg.TemplateId());
    if (it != m_dialogResponders.end() && it->second)
        it->second(dlg);
    else
        Unexpected(L"dialog " + std::to_wstring(dlg.TemplateId()));
    // A dialog that the responder left open is closed as by its title bar's button.
    if (!dlg.IsEnded())
        dlg.OnCancel();
    if (!dlg.IsEnded())
        dlg.EndDialog(ui::IDCANCEL);
    const int nResult = dlg.EndCode();
    dlg.Destroy();
    --m_nModalDepth;
    return nResult;
}

int HeadlessUiHost::RunPropertySheet(ui::CPropertySheet& sheet) {
    sheet.Create();
    if (m_sheetScript)
        m_sheetScript(sheet);
    sheet.Destroy();
    return ui::IDOK;
}

bool HeadlessUiHost::RunFileOpenDialog(ui::CDialog* /*pOwner*/, const std::wstring& strFilter,
                                       std::wstring& strPath) {
    if (!m_fileResponder) {
        Unexpected(L"file dialog");
        return false;
    }
    ++m_nModalDepth;
    const bool bChosen = m_fileResponder(strFilter, strPath);
    --m_nModalDepth;
    return bChosen;
}

}  // namespace platform::headless
