// The headless backend: windows are the framework's own objects, and modal boxes, dialogs
// and the file dialog call responders that a test or a command-line program sets. Every box
// shown is recorded with what a person would have seen.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/event_loop.h"
#include "platform/ui/ui.h"

namespace platform::headless {

struct ShownMessageBox {
    std::wstring strText;
    std::wstring strCaption;
    unsigned nType = 0;
    int nOwnerTemplate = 0;  // template of the window that showed it, 0 for none
    int64_t nAtMs = 0;       // when it opened, on the loop's clock
    int nAnswer = 0;
};

class HeadlessUiHost final : public ui::UiHost {
  public:
    explicit HeadlessUiHost(EventLoop& loop);
    ~HeadlessUiHost() override;

    // Answers a message box; may let time pass first (timers keep firing meanwhile).
    using MessageBoxResponder = std::function<int(const ShownMessageBox&)>;
    // Acts on a modal dialog whose window exists; it should end the dialog.
    using DialogResponder = std::function<void(ui::CDialog&)>;
    // Chooses a file: true with a path, false for Cancel.
    using FileResponder = std::function<bool(const std::wstring& strFilter, std::wstring& strPath)>;
    // Runs a property sheet once its window exists; returns when the user has closed it.
    using SheetScript = std::function<void(ui::CPropertySheet&)>;
    // Called for a box or dialog that no responder expects.
    using UnexpectedHandler = std::function<void(const std::wstring& strWhat)>;

    void SetMessageBoxResponder(MessageBoxResponder responder) {
        m_messageBoxResponder = std::move(responder);
    }
    void SetDialogResponder(int nTemplateId, DialogResponder responder);
    void SetFileResponder(FileResponder responder) { m_fileResponder = std::move(responder); }
    void SetSheetScript(SheetScript script) { m_sheetScript = std::move(script); }
    void SetUnexpectedHandler(UnexpectedHandler handler) { m_unexpected = std::move(handler); }

    const std::vector<ShownMessageBox>& MessageBoxes() const { return m_boxes; }
    void ClearMessageBoxes() { m_boxes.clear(); }
    // Template numbers of the modal dialogs shown, in order.
    const std::vector<int>& DialogsShown() const { return m_dialogs; }
    // Modal boxes and dialogs open right now.
    int ModalDepth() const { return m_nModalDepth; }

    EventLoop& Loop() override { return m_loop; }
    int RunMessageBox(ui::CDialog* pOwner, const std::wstring& strText,
                      const std::wstring& strCaption, unsigned nType) override;
    int RunModalDialog(ui::CDialog& dlg) override;
    int RunPropertySheet(ui::CPropertySheet& sheet) override;
    bool RunFileOpenDialog(ui::CDialog* pOwner, const std::wstring& strFilter,
                           std::wstring& strPath) override;

  private:
    void Unexpected(const std::wstring& strWhat);

    EventLoop& m_loop;
    MessageBoxResponder m_messageBoxResponder;
    std::map<int, DialogResponder> m_dialogResponders;
    FileResponder m_fileResponder;
    SheetScript m_sheetScript;
    UnexpectedHandler m_unexpected;
    std::vector<ShownMessageBox> m_boxes;
    std::vector<int> m_dialogs;
    int m_nModalDepth = 0;
};

}  // namespace platform::headless
