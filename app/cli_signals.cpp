#include "app/cli_signals.h"

#include <string>

#include "platform/text.h"

namespace {

// Every message starts so, as the command's own do.
constexpr char PREFIX[] = "morvane-gyro-cli: ";

// The store item's name as its status line shows it, "Write " left off; the two profile
// copies are named after their profile.
std::string StoreItemName(int nItem) {
    const GyroParameters none{};
    const GyroStoreWord word = EncodeStoreWord(nItem, none, 0);
    if (!word.pszLabel)
        return StoreItemName(nItem - 2) + " copy";
    return platform::Utf8FromWide(word.pszLabel).substr(std::string("Write ").size());
}

std::string StoreItemNames(int nFirst, int nEnd) {
    std::string strNames;
    for (int i = nFirst; i < nEnd; ++i)
        strNames += (i > nFirst ? ", " : "") + StoreItemName(i);
    return strNames;
}

}  // namespace

CCliSignals::CCliSignals(CTQ480ConfigSheet& sheet, platform::EventLoop& loop, std::ostream& err)
    : m_err(err),
      m_interrupt(sheet),
      m_watch(loop, [this](int nSignal, int nCount) { OnSignal(nSignal, nCount); }) {}

void CCliSignals::OnSignal(int nSignal, int nCount) {
    // What the store had done, before a stop ends it.
    const int nWritten = m_interrupt.StoreWordsWritten();
    const bool bInFlight = m_interrupt.StoreWordInFlight();
    switch (m_interrupt.OnSignal(nSignal, nCount)) {
        case InterruptAction::READ_ENDED:
            m_err << PREFIX << "read interrupted\n";
            break;
        case InterruptAction::STORE_FINISHING:
            m_err << PREFIX << "finishing the store; interrupt again to stop now\n";
            break;
        case InterruptAction::STORE_ENDED: {
            if (nWritten == 0 && !bInFlight) {
                m_err << PREFIX
                      << "store interrupted before any field was written; the gyro keeps its "
                         "earlier values\n";
                break;
            }
            const int nUnsent = nWritten + (bInFlight ? 1 : 0);
            m_err << PREFIX << "store stopped part-way\n"
                  << PREFIX << "written: " << (nWritten > 0 ? StoreItemNames(0, nWritten) : "none")
                  << "\n";
            if (bInFlight)
                m_err << PREFIX << "sent, not acknowledged: " << StoreItemName(nWritten) << "\n";
            if (nUnsent < GYRO_STORE_ITEM_COUNT)
                m_err << PREFIX << "not written: " << StoreItemNames(nUnsent, GYRO_STORE_ITEM_COUNT)
                      << "\n";
            break;
        }
        case InterruptAction::UPLOAD_STOPPING:
            m_err << PREFIX << "stopping after the record in flight; interrupt again to stop now\n";
            break;
        case InterruptAction::UPLOAD_CALLED_OFF:
            m_bUploadCalledOff = true;
            m_err << PREFIX
                  << "firmware update called off before the port was opened; the gyro was not "
                     "touched\n";
            break;
        case InterruptAction::UPLOAD_ENDED:
        case InterruptAction::NOTHING_RUNNING:
            break;
    }
    m_err << std::flush;
}

int CCliSignals::SequenceEnded(bool bStoreCompleted) {
    if (bStoreCompleted)
        m_err << PREFIX << "Write Complete\n";
    return ExitStatus();
}

int CCliSignals::FlashEnded(bool bCompleted) {
    if (!bCompleted && !m_bUploadCalledOff)
        m_err << PREFIX << "the gyro waits in its loader for a complete firmware file\n";
    return ExitStatus();
}
