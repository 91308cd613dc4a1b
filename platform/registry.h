// A read-only view of the handheld's registry: keys opened by path below the local-machine
// root, subkeys and values listed by index, typed value queries, and the registry's result
// codes. Key and value names compare without regard to case.
//
// Two views: MemoryRegistry, a tree a test builds (with failures on demand), and
// PortMapRegistry, the Linux one, which shows the port map in the handheld's own layout of
// built-in drivers. The free Registry* functions work on the current view.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class PortMap;

enum : int32_t {
    REGISTRY_SUCCESS = 0,
    REGISTRY_NOT_FOUND = 2,
    REGISTRY_INVALID_HANDLE = 6,
    REGISTRY_NOT_ENOUGH_MEMORY = 8,
    REGISTRY_INVALID_PARAMETER = 87,
    REGISTRY_MORE_DATA = 234,
    REGISTRY_NO_MORE_ITEMS = 259,
    REGISTRY_OLD_WIN_VERSION = 1150,
    REGISTRY_INVALID_DATATYPE = 1804,  // the value exists with another type
};

// Value types.
enum : uint32_t { REGISTRY_STRING = 1, REGISTRY_DWORD = 4 };

// An open key. The root is always open; closing it does nothing.
using RegistryKey = uintptr_t;
constexpr RegistryKey REGISTRY_LOCAL_MACHINE = 0x80000002;

class RegistryView {
  public:
    virtual ~RegistryView() = default;

    // Opens the key at strPath ('\\'-separated) below hParent; an empty path opens hParent
    // again.
    virtual int32_t OpenKey(RegistryKey hParent, std::wstring_view strPath, RegistryKey& hKey) = 0;
    // The name of subkey nIndex. nNameChars: in, the buffer's room in characters with the
    // terminator; out, the name's length without it. REGISTRY_MORE_DATA, with the name's
    // length in nNameChars, when the name and its terminator do not fit.
    virtual int32_t EnumKey(RegistryKey hKey, uint32_t nIndex, wchar_t* pName,
                            uint32_t& nNameChars) = 0;
    // Name, type and data of value nIndex. The name as for EnumKey; the data in bytes: a
    // string as wide characters with their terminator, a DWORD as 4 bytes. REGISTRY_MORE_DATA,
    // with both needed sizes given back, when either does not fit.
    virtual int32_t EnumValue(RegistryKey hKey, uint32_t nIndex, wchar_t* pName,
                              uint32_t& nNameChars, uint32_t& nType, uint8_t* pData,
                              uint32_t& nDataBytes) = 0;
    // A string value. nChars: in, the buffer's room in characters; out, the characters the
    // value takes with its terminator (REGISTRY_MORE_DATA when that is more than the room).
    // REGISTRY_INVALID_DATATYPE for a value of another type.
    virtual int32_t QueryString(RegistryKey hKey, std::wstring_view strName, wchar_t* pBuffer,
                                uint32_t& nChars) = 0;
    // A DWORD value; REGISTRY_INVALID_DATATYPE for a value of another type.
    virtual int32_t QueryDword(RegistryKey hKey, std::wstring_view strName, uint32_t& nValue) = 0;
    virtual int32_t CloseKey(RegistryKey hKey) = 0;
    // Brings a view of live state up to date; a tree held in memory has nothing to do.
    virtual void Refresh() {}
};

// The view the Registry* functions use; by default the port map's (DefaultRegistry).
RegistryView& CurrentRegistry();
// The Linux view over PortMap::Instance().
RegistryView& DefaultRegistry();
// Replaces the view (tests); null puts the default back. The caller keeps ownership.
void SetRegistry(RegistryView* pRegistry);

int32_t RegistryOpenKey(RegistryKey hParent, std::wstring_view strPath, RegistryKey& hKey);
int32_t RegistryEnumKey(RegistryKey hKey, uint32_t nIndex, wchar_t* pName, uint32_t& nNameChars);
int32_t RegistryEnumValue(RegistryKey hKey, uint32_t nIndex, wchar_t* pName, uint32_t& nNameChars,
                          uint32_t& nType, uint8_t* pData, uint32_t& nDataBytes);
int32_t RegistryQueryString(RegistryKey hKey, std::wstring_view strName, wchar_t* pBuffer,
                            uint32_t& nChars);
int32_t RegistryQueryDword(RegistryKey hKey, std::wstring_view strName, uint32_t& nValue);
int32_t RegistryCloseKey(RegistryKey hKey);
// Refreshes the current view: a discovery asks for it once, before it reads.
void RegistryRefresh();

// The calls a MemoryRegistry can be told to fail.
enum class RegistryCall { OPEN_KEY, ENUM_KEY, ENUM_VALUE, QUERY_STRING, QUERY_DWORD };

// A call that fails on purpose: RegistryFault(RegistryCall::QUERY_STRING, L"Drivers\\X", 5)
// .ForValue(L"PREFIX").Times(1).
struct RegistryFault {
    static constexpr uint32_t ANY_INDEX = UINT32_MAX;
    static constexpr uint32_t ALWAYS = UINT32_MAX;

    // strKeyPath: the key the call works on, from the root; for OPEN_KEY the key being opened,
    // which need not exist.
    RegistryFault(RegistryCall call, std::wstring_view strKeyPath, int32_t nCode)
        : call(call), strKeyPath(strKeyPath), nCode(nCode) {}
    // Queries: only those of that value; without it, those of any value.
    RegistryFault& ForValue(std::wstring_view strName) {
        strValueName = strName;
        return *this;
    }
    // Enumerations: only that index.
    RegistryFault& AtIndex(uint32_t nAt) {
        nIndex = nAt;
        return *this;
    }
    // That many times, then the call works again.
    RegistryFault& Times(uint32_t nCount) {
        nTimes = nCount;
        return *this;
    }

    RegistryCall call;
    std::wstring strKeyPath;
    int32_t nCode;
    std::wstring strValueName;
    uint32_t nIndex = ANY_INDEX;
    uint32_t nTimes = ALWAYS;
};

// A registry tree held in memory. Subkeys and values are listed in the order they were
// added; setting a value again keeps its place.
class MemoryRegistry final : public RegistryView {
  public:
    MemoryRegistry();
    ~MemoryRegistry() override;
    MemoryRegistry(const MemoryRegistry&) = delete;
    MemoryRegistry& operator=(const MemoryRegistry&) = delete;

    // Creates the key and any missing parents.
    void AddKey(std::wstring_view strPath);
    // Creates the key when needed and sets the value, replacing one of either type.
    void SetString(std::wstring_view strKeyPath, std::wstring_view strName,
                   std::wstring_view strValue);
    void SetDword(std::wstring_view strKeyPath, std::wstring_view strName, uint32_t nValue);
    // Empties the tree, forgets the faults and closes every open key.
    void Clear();

    // Matching calls fail with the fault's code and leave their outputs alone.
    void FailCall(RegistryFault fault);
    // Keys opened and not yet closed.
    size_t OpenKeyCount() const;

    int32_t OpenKey(RegistryKey hParent, std::wstring_view strPath, RegistryKey& hKey) override;
    int32_t EnumKey(RegistryKey hKey, uint32_t nIndex, wchar_t* pName,
                    uint32_t& nNameChars) override;
    int32_t EnumValue(RegistryKey hKey, uint32_t nIndex, wchar_t* pName, uint32_t& nNameChars,
                      uint32_t& nType, uint8_t* pData, uint32_t& nDataBytes) override;
    int32_t QueryString(RegistryKey hKey, std::wstring_view strName, wchar_t* pBuffer,
                        uint32_t& nChars) override;
    int32_t QueryDword(RegistryKey hKey, std::wstring_view strName, uint32_t& nValue) override;
    int32_t CloseKey(RegistryKey hKey) override;

  private:
    struct Node;
    struct Value;

    Node* KeyFor(RegistryKey hKey) const;
    Node* MakeKey(std::wstring_view strPath);
    Value& MakeValue(std::wstring_view strKeyPath, std::wstring_view strName);
    // True, with the code, when a fault matches; counts the fault down.
    bool Fails(RegistryCall call, std::wstring_view strKeyPath, std::wstring_view strName,
               uint32_t nIndex, int32_t& nCode);

    std::unique_ptr<Node> m_pRoot;
    std::vector<std::pair<RegistryKey, Node*>> m_openKeys;
    RegistryKey m_nNextKey = 1;
    std::vector<RegistryFault> m_faults;
};

// The driver file name given to every port: none of the Bluetooth drivers the handheld's
// discovery treats specially, so no port looks like an incoming Bluetooth port.
inline constexpr std::wstring_view PORT_DRIVER_DLL = L"serial_linux.dll";

// The Linux registry: each port of the map as a built-in driver
// "Drivers\BuiltIn\Serial<n>" with PREFIX "COM", INDEX n, FRIENDLYNAME and Dll
// PORT_DRIVER_DLL. Refresh rescans the map; the tree follows the map when a key is opened
// while none is open, so one discovery sees one consistent picture, with the numbers the
// serial opener resolves.
class PortMapRegistry final : public RegistryView {
  public:
    explicit PortMapRegistry(PortMap& map);

    int32_t OpenKey(RegistryKey hParent, std::wstring_view strPath, RegistryKey& hKey) override;
    int32_t EnumKey(RegistryKey hKey, uint32_t nIndex, wchar_t* pName,
                    uint32_t& nNameChars) override;
    int32_t EnumValue(RegistryKey hKey, uint32_t nIndex, wchar_t* pName, uint32_t& nNameChars,
                      uint32_t& nType, uint8_t* pData, uint32_t& nDataBytes) override;
    int32_t QueryString(RegistryKey hKey, std::wstring_view strName, wchar_t* pBuffer,
                        uint32_t& nChars) override;
    int32_t QueryDword(RegistryKey hKey, std::wstring_view strName, uint32_t& nValue) override;
    int32_t CloseKey(RegistryKey hKey) override;
    void Refresh() override;

  private:
    void Rebuild();

    PortMap& m_map;
    MemoryRegistry m_tree;
};

}  // namespace platform
