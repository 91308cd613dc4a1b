#include "platform/port_map.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string_view>
#include <utility>

#include "platform/files.h"
#include "platform/published_ports.h"
#include "platform/serial.h"
#include "platform/serial_termios.h"

namespace platform {

namespace fs = std::filesystem;

namespace {

// "ttyS12" for prefix "ttyS": the prefix and at least one digit, nothing else.
bool IsNumberedName(std::string_view strName, std::string_view strPrefix) {
    if (strName.size() <= strPrefix.size() || !strName.starts_with(strPrefix))
        return false;
    return std::all_of(strName.begin() + static_cast<ptrdiff_t>(strPrefix.size()), strName.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
}

// Orders names with their digit runs compared as numbers: ttyS2 before ttyS10.
bool NaturalLess(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const bool bDigitA = std::isdigit(static_cast<unsigned char>(a[i]));
        const bool bDigitB = std::isdigit(static_cast<unsigned char>(b[j]));
        if (bDigitA && bDigitB) {
            size_t iEnd = i, jEnd = j;
            while (iEnd < a.size() && std::isdigit(static_cast<unsigned char>(a[iEnd])))
                ++iEnd;
            while (jEnd < b.size() && std::isdigit(static_cast<unsigned char>(b[jEnd])))
                ++jEnd;
            const std::string_view runA = std::string_view(a).substr(i, iEnd - i);
            const std::string_view runB = std::string_view(b).substr(j, jEnd - j);
            const auto trimmedA = runA.substr(std::min(runA.find_first_not_of('0'), runA.size()));
            const auto trimmedB = runB.substr(std::min(runB.find_first_not_of('0'), runB.size()));
            if (trimmedA.size() != trimmedB.size())
                return trimmedA.size() < trimmedB.size();
            if (trimmedA != trimmedB)
                return trimmedA < trimmedB;
            i = iEnd;
            j = jEnd;
        } else {
            if (a[i] != b[j])
                return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

// The first line of a small sysfs file without its trailing white space; nothing when the
// file cannot be read.
std::optional<std::string> ReadFirstLine(const std::string& strPath) {
    std::ifstream file(strPath);
    std::string strLine;
    if (!file || !std::getline(file, strLine))
        return std::nullopt;
    while (!strLine.empty() && std::isspace(static_cast<unsigned char>(strLine.back())))
        strLine.pop_back();
    return strLine;
}

std::string TtyFolder(const std::string& strSysRoot, const std::string& strName) {
    return strSysRoot + "/class/tty/" + strName;
}

// The product name of the USB device behind a tty: the usb-serial port's parent is the
// interface and the device above it has the product (ttyUSB); an ACM tty hangs off the
// interface itself, whose parent is the device (ttyACM).
std::string UsbProductName(const std::string& strSysRoot, const std::string& strName) {
    const std::string strDevice = TtyFolder(strSysRoot, strName) + "/device";
    for (const char* pUp : {"/../product", "/../../product"}) {
        const std::optional<std::string> product = ReadFirstLine(strDevice + pUp);
        if (product && !product->empty())
            return *product;
    }
    return "USB serial " + strName;
}

// An 8250-family port reports its UART type, 0 for a slot with no chip; other drivers have no
// type, and a bound driver other than the legacy placeholder means hardware.
bool UartHasHardware(const std::string& strSysRoot, const std::string& strName) {
    const std::string strFolder = TtyFolder(strSysRoot, strName);
    if (const std::optional<std::string> type = ReadFirstLine(strFolder + "/type"))
        return !type->empty() && *type != "0";
    std::error_code ec;
    const fs::path driver = fs::read_symlink(strFolder + "/device/driver", ec);
    return !ec && driver.filename() != "serial8250";
}

// Names in a folder, sorted naturally; none when it cannot be read.
std::vector<std::string> FolderNames(const std::string& strFolder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(strFolder, ec))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end(), NaturalLess);
    return names;
}

// Where the device with that identity opens: a published port and a USB adapter with a udev
// link by the link, the others by their node. Nothing for an identity of no known kind.
std::optional<std::string> OpenPathForKey(const std::string& strKey,
                                          const std::string& strDevRoot) {
    const size_t nColon = strKey.find(':');
    if (nColon == std::string::npos)
        return std::nullopt;
    const std::string_view strKind = std::string_view(strKey).substr(0, nColon);
    const std::string strName = strKey.substr(nColon + 1);
    if (strName.empty() || strName.find('/') != std::string::npos || strName == "..")
        return std::nullopt;
    if (strKind == "published")
        return PublishedPortLink(strName);
    if (strKind == "usb" && !IsNumberedName(strName, "ttyUSB") &&
        !IsNumberedName(strName, "ttyACM"))
        return strDevRoot + "/serial/by-id/" + strName;
    if (strKind == "usb" || strKind == "bluetooth" || strKind == "uart")
        return strDevRoot + "/" + strName;
    return std::nullopt;
}

}  // namespace

std::string ComPortNumbersFile() {
    const std::string strFolder = UserConfigFolder();
    return strFolder.empty() ? strFolder : strFolder + "/com-ports";
}

std::vector<DetectedPort> DetectSerialHardware(const std::string& strDevRoot,
                                               const std::string& strSysRoot) {
    std::vector<DetectedPort> ports;
    std::error_code ec;
    const std::vector<std::string> devNames = FolderNames(strDevRoot);

    for (const std::string& strName : FolderNames(strSysRoot + "/class/tty")) {
        const std::string strPath = strDevRoot + "/" + strName;
        if (IsNumberedName(strName, "ttyS") && fs::exists(strPath, ec) &&
            UartHasHardware(strSysRoot, strName))
            ports.push_back({"uart:" + strName, "Serial port " + strName, strPath});
    }

    // USB adapters by their udev link, which names the adapter itself; then those udev did
    // not link, by device name.
    std::set<std::string> linked;
    const std::string strById = strDevRoot + "/serial/by-id";
    for (const std::string& strLink : FolderNames(strById)) {
        const fs::path device = fs::canonical(strById + "/" + strLink, ec);
        if (ec)
            continue;  // a link left behind by an adapter just pulled
        linked.insert(device.string());
        ports.push_back({"usb:" + strLink, UsbProductName(strSysRoot, device.filename().string()),
                         device.string()});
    }
    for (const std::string& strName : devNames) {
        if (!IsNumberedName(strName, "ttyUSB") && !IsNumberedName(strName, "ttyACM"))
            continue;
        const fs::path device = fs::canonical(strDevRoot + "/" + strName, ec);
        if (!ec && !linked.contains(device.string()))
            ports.push_back(
                {"usb:" + strName, UsbProductName(strSysRoot, strName), device.string()});
    }

    for (const std::string& strName : devNames) {
        if (IsNumberedName(strName, "rfcomm"))
            ports.push_back({"bluetooth:" + strName, "Bluetooth serial " + strName,
                             strDevRoot + "/" + strName});
    }
    return ports;
}

bool PortMap::Add(int nNumber, std::string strFriendlyName, std::string strDevicePath) {
    if (nNumber < MIN_PORT_NUMBER || nNumber > MAX_PORT_NUMBER)
        return false;
    std::lock_guard lock(m_mutex);
    std::vector<Port> displaced;
    auto it = m_ports.find(nNumber);
    if (it != m_ports.end() && it->second.source == SOURCE_FOUND)
        displaced.push_back(std::move(it->second));
    m_ports[nNumber] = Port{SOURCE_ADDED, {}, std::move(strFriendlyName), std::move(strDevicePath)};
    if (!displaced.empty()) {
        AssignNumbers(std::move(displaced));
        SaveNumbers();
    }
    return true;
}

void PortMap::Refresh() {
    PortMapSetup setup;
    {
        std::lock_guard lock(m_mutex);
        setup = m_setup;
    }
    std::vector<Port> found;
    for (DetectedPort& port : DetectSerialHardware(setup.strDevRoot, setup.strSysRoot))
        found.push_back({SOURCE_FOUND, std::move(port.strKey), std::move(port.strFriendlyName),
                         std::move(port.strDevicePath)});
    for (PublishedPort& port : ListPublishedPorts())
        found.push_back({SOURCE_FOUND, "published:" + port.strFriendlyName,
                         std::move(port.strFriendlyName), std::move(port.strDevicePath)});

    std::lock_guard lock(m_mutex);
    ++m_nScans;
    LoadNumbers();
    const std::vector<RememberedNumber> loaded = m_remembered;
    // Ports still there since the last scan keep their numbers; the others are dropped.
    std::map<std::string, int> live;
    for (auto it = m_ports.begin(); it != m_ports.end();) {
        if (it->second.source == SOURCE_FOUND) {
            live[it->second.strKey] = it->first;
            it = m_ports.erase(it);
        } else {
            ++it;
        }
    }
    std::vector<Port> unnumbered;
    for (Port& port : found) {
        auto it = live.find(port.strKey);
        if (it != live.end() && !m_ports.contains(it->second))
            m_ports.emplace(it->second, std::move(port));
        else
            unnumbered.push_back(std::move(port));
    }
    AssignNumbers(std::move(unnumbered));
    // The devices present are the most recently seen.
    for (const auto& [nNumber, port] : m_ports) {
        if (port.source == SOURCE_FOUND)
            Remember(port.strKey, nNumber);
    }
    if (m_remembered != loaded)
        SaveNumbers();
}

void PortMap::AssignNumbers(std::vector<Port> unnumbered) {
    // First those coming back to a number that is free, then the rest in the order given.
    std::vector<Port> rest;
    for (Port& port : unnumbered) {
        auto it = std::find_if(m_remembered.begin(), m_remembered.end(),
                               [&](const RememberedNumber& r) { return r.strKey == port.strKey; });
        if (it != m_remembered.end() && !m_ports.contains(it->nNumber))
            m_ports.emplace(it->nNumber, std::move(port));
        else
            rest.push_back(std::move(port));
    }
    for (Port& port : rest) {
        const int nNumber = NewNumber();
        if (nNumber == 0)
            break;  // every number taken: the port stays off the map
        Remember(port.strKey, nNumber);
        m_ports.emplace(nNumber, std::move(port));
    }
}

int PortMap::NewNumber() const {
    auto isRemembered = [this](int nNumber) {
        return std::any_of(m_remembered.begin(), m_remembered.end(),
                           [nNumber](const RememberedNumber& r) { return r.nNumber == nNumber; });
    };
    int nLowest = 0;
    for (int nNumber = MIN_PORT_NUMBER; nNumber <= MAX_PORT_NUMBER && nLowest == 0; ++nNumber) {
        if (!m_ports.contains(nNumber) && !isRemembered(nNumber))
            nLowest = nNumber;
    }
    if (nLowest != 0 && nLowest <= MAX_OPENABLE_NUMBER)
        return nLowest;
    // Rather an openable number of the device away longest than one the tool cannot open.
    for (const RememberedNumber& r : m_remembered) {
        if (r.nNumber <= MAX_OPENABLE_NUMBER && !m_ports.contains(r.nNumber))
            return r.nNumber;
    }
    if (nLowest != 0)
        return nLowest;
    for (const RememberedNumber& r : m_remembered) {
        if (!m_ports.contains(r.nNumber))
            return r.nNumber;
    }
    return 0;
}

void PortMap::Remember(const std::string& strKey, int nNumber) {
    std::erase_if(m_remembered, [&](const RememberedNumber& r) {
        return r.strKey == strKey || r.nNumber == nNumber;
    });
    m_remembered.push_back({strKey, nNumber});
}

std::string PortMap::NumbersFile() const {
    return m_setup.strNumbersFile.empty() ? ComPortNumbersFile() : m_setup.strNumbersFile;
}

void PortMap::LoadNumbers() {
    const std::string strFile = NumbersFile();
    if (strFile.empty())
        return;
    std::ifstream file(strFile);
    if (!file)
        return;  // nothing stored yet: what this process knows stands
    // One "<number>\t<identity>" a line, least recently seen first; on a repeated number or
    // identity the later line wins.
    std::vector<RememberedNumber> remembered;
    std::string strLine;
    while (std::getline(file, strLine)) {
        const size_t nTab = strLine.find('\t');
        if (strLine.empty() || strLine[0] == '#' || nTab == std::string::npos ||
            nTab + 1 == strLine.size())
            continue;
        const std::optional<int> number = ParseComName("COM" + strLine.substr(0, nTab));
        if (!number || *number > MAX_PORT_NUMBER)
            continue;
        const std::string strKey = strLine.substr(nTab + 1);
        std::erase_if(remembered, [&](const RememberedNumber& r) {
            return r.strKey == strKey || r.nNumber == *number;
        });
        remembered.push_back({strKey, *number});
    }
    m_remembered = std::move(remembered);
}

void PortMap::SaveNumbers() const {
    const std::string strFile = NumbersFile();
    if (strFile.empty())
        return;
    std::error_code ec;
    fs::create_directories(fs::path(strFile).parent_path(), ec);
    // Written aside and renamed, so a reader never sees half a file.
    const std::string strTemporary = strFile + ".new" + std::to_string(getpid());
    bool bWritten = false;
    {
        std::ofstream file(strTemporary, std::ios::trunc);
        file << "# COM port numbers of Morvane RC Gyro Tools: number, tab, device; "
                "least recently seen first.\n";
        for (const RememberedNumber& r : m_remembered) {
            if (r.strKey.find('\n') == std::string::npos)
                file << r.nNumber << '\t' << r.strKey << '\n';
        }
        bWritten = static_cast<bool>(file.flush());
    }
    if (!bWritten || std::rename(strTemporary.c_str(), strFile.c_str()) != 0)
        fs::remove(strTemporary, ec);
}

std::optional<std::string> PortMap::OpenPathFor(const std::string& strComName) {
    const std::optional<int> number = ParseComName(strComName);
    if (!number)
        return std::nullopt;
    std::lock_guard lock(m_mutex);
    auto it = m_ports.find(*number);
    if (it != m_ports.end()) {
        if (it->second.source == SOURCE_ADDED)
            return it->second.strDevicePath;
        return OpenPathForKey(it->second.strKey, m_setup.strDevRoot);
    }
    LoadNumbers();
    for (const RememberedNumber& r : m_remembered) {
        if (r.nNumber == *number)
            return OpenPathForKey(r.strKey, m_setup.strDevRoot);
    }
    return std::nullopt;
}

namespace {

class PortMapSerialOpener final : public SerialOpener {
  public:
    std::unique_ptr<SerialDevice> Open(const std::string& strName) override {
        // No rescan: the numbers are those of the scan that built the port list.
        const std::optional<std::string> path = PortMap::Instance().OpenPathFor(strName);
        if (!path) {
            SetLastSystemError(ENOENT);
            return nullptr;
        }
        return OpenTermiosDevice(*path);
    }
};

}  // namespace

SerialOpener& DefaultSerialOpener() {
    static PortMapSerialOpener s_opener;
    return s_opener;
}

}  // namespace platform
