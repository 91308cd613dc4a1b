#include "platform/registry.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/port_map.h"
#include "platform/text.h"

namespace platform {

namespace {

RegistryView* g_pRegistry = nullptr;

wchar_t FoldCase(wchar_t c) {
    return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

// Registry names are compared without regard to (ASCII) case.
bool SameName(std::wstring_view a, std::wstring_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](wchar_t x, wchar_t y) { return FoldCase(x) == FoldCase(y); });
}

// The components of a '\\'-separated path; empty components are skipped.
std::vector<std::wstring_view> SplitPath(std::wstring_view strPath) {
    std::vector<std::wstring_view> parts;
    while (!strPath.empty()) {
        const size_t nEnd = std::min(strPath.find(L'\\'), strPath.size());
        if (nEnd > 0)
            parts.push_back(strPath.substr(0, nEnd));
        strPath.remove_prefix(std::min(nEnd + 1, strPath.size()));
    }
    return parts;
}

std::wstring JoinPath(std::wstring_view strParent, std::wstring_view strName) {
    std::wstring strPath(strParent);
    if (!strPath.empty())
        strPath += L'\\';
    strPath += strName;
    return strPath;
}

// Copies a name with its terminator when it fits the room given in nChars (the EnumKey rule).
int32_t CopyName(const std::wstring& strName, wchar_t* pName, uint32_t& nChars) {
    if (nChars < strName.size() + 1) {
        nChars = static_cast<uint32_t>(strName.size());
        return REGISTRY_MORE_DATA;
    }
    std::memcpy(pName, strName.c_str(), (strName.size() + 1) * sizeof(wchar_t));
    nChars = static_cast<uint32_t>(strName.size());
    return REGISTRY_SUCCESS;
}

}  // namespace

RegistryView& CurrentRegistry() {
    return g_pRegistry ? *g_pRegistry : DefaultRegistry();
}

RegistryView& DefaultRegistry() {
    static PortMapRegistry s_registry(PortMap::Instance());
    return s_registry;
}

void SetRegistry(RegistryView* pRegistry) {
    g_pRegistry = pRegistry;
}

int32_t RegistryOpenKey(RegistryKey hParent, std::wstring_view strPath, RegistryKey& hKey) {
    return CurrentRegistry().OpenKey(hParent, strPath, hKey);
}

int32_t RegistryEnumKey(RegistryKey hKey, uint32_t nIndex, wchar_t* pName, uint32_t& nNameChars) {
    return CurrentRegistry().EnumKey(hKey, nIndex, pName, nNameChars);
}

int32_t RegistryEnumValue(RegistryKey hKey, uint32_t nIndex, wchar_t* pName, uint32_t& nNameChars,
                          uint32_t& nType, uint8_t* pData, uint32_t& nDataBytes) {
    return CurrentRegistry().EnumValue(hKey, nIndex, pName, nNameChars, nType, pData, nDataBytes);
}

int32_t RegistryQueryString(RegistryKey hKey, std::wstring_view strName, wchar_t* pBuffer,
                            uint32_t& nChars) {
    return CurrentRegistry().QueryString(hKey, strName, pBuffer, nChars);
}

int32_t RegistryQueryDword(RegistryKey hKey, std::wstring_view strName, uint32_t& nValue) {
    return CurrentRegistry().QueryDword(hKey, strName, nValue);
}

int32_t RegistryCloseKey(RegistryKey hKey) {
    return CurrentRegistry().CloseKey(hKey);
}

void RegistryRefresh() {
    CurrentRegistry().Refresh();
}

// ---- MemoryRegistry ----

struct MemoryRegistry::Value {
    std::wstring strName;
    uint32_t nType = REGISTRY_STRING;
    std::wstring strText;
    uint32_t nNumber = 0;
};

struct MemoryRegistry::Node {
    std::wstring strName;
    std::wstring strPath;  // from the root
    std::vector<std::unique_ptr<Node>> children;
    std::vector<Value> values;

    Node* Child(std::wstring_view strChild) const {
        for (const auto& pChild : children) {
            if (SameName(pChild->strName, strChild))
                return pChild.get();
        }
        return nullptr;
    }
    const Value* FindValue(std::wstring_view strValue) const {
        for (const Value& value : values) {
            if (SameName(value.strName, strValue))
                return &value;
        }
        return nullptr;
    }
};

MemoryRegistry::MemoryRegistry() : m_pRoot(std::make_unique<Node>()) {}

MemoryRegistry::~MemoryRegistry() = default;

MemoryRegistry::Node* MemoryRegistry::MakeKey(std::wstring_view strPath) {
    Node* pNode = m_pRoot.get();
    for (std::wstring_view strPart : SplitPath(strPath)) {
        Node* pChild = pNode->Child(strPart);
        if (!pChild) {
            auto pNew = std::make_unique<Node>();
            pNew->strName = strPart;
            pNew->strPath = JoinPath(pNode->strPath, strPart);
            pChild = pNew.get();
            pNode->children.push_back(std::move(pNew));
        }
        pNode = pChild;
    }
    return pNode;
}

MemoryRegistry::Value& MemoryRegistry::MakeValue(std::wstring_view strKeyPath,
                                                 std::wstring_view strName) {
    Node* pNode = MakeKey(strKeyPath);
    for (Value& value : pNode->values) {
        if (SameName(value.strName, strName))
            return value;
    }
    pNode->values.emplace_back().strName = strName;
    return pNode->values.back();
}

void MemoryRegistry::AddKey(std::wstring_view strPath) {
    MakeKey(strPath);
}

void MemoryRegistry::SetString(std::wstring_view strKeyPath, std::wstring_view strName,
                               std::wstring_view strValue) {
    Value& value = MakeValue(strKeyPath, strName);
    value.nType = REGISTRY_STRING;
    value.strText = strValue;
}

void MemoryRegistry::SetDword(std::wstring_view strKeyPath, std::wstring_view strName,
                              uint32_t nValue) {
    Value& value = MakeValue(strKeyPath, strName);
    value.nType = REGISTRY_DWORD;
    value.nNumber = nValue;
}

void MemoryRegistry::Clear() {
    m_pRoot = std::make_unique<Node>();
    m_openKeys.clear();
    m_faults.clear();
}

void MemoryRegistry::FailCall(RegistryFault fault) {
    m_faults.push_back(std::move(fault));
}

size_t MemoryRegistry::OpenKeyCount() const {
    return m_openKeys.size();
}

MemoryRegistry::Node* MemoryRegistry::KeyFor(RegistryKey hKey) const {
    if (hKey == REGISTRY_LOCAL_MACHINE)
        return m_pRoot.get();
    for (const auto& [hOpen, pNode] : m_openKeys) {
        if (hOpen == hKey)
            return pNode;
    }
    return nullptr;
}

bool MemoryRegistry::Fails(RegistryCall call, std::wstring_view strKeyPath,
                           std::wstring_view strName, uint32_t nIndex, int32_t& nCode) {
    for (auto it = m_faults.begin(); it != m_faults.end(); ++it) {
        if (it->call != call || !SameName(it->strKeyPath, strKeyPath) ||
            (!it->strValueName.empty() && !SameName(it->strValueName, strName)) ||
            (it->nIndex != RegistryFault::ANY_INDEX && it->nIndex != nIndex))
            continue;
        nCode = it->nCode;
        if (it->nTimes != RegistryFault::ALWAYS && --it->nTimes == 0)
            m_faults.erase(it);
        return true;
    }
    return false;
}

int32_t MemoryRegistry::OpenKey(RegistryKey hParent, std::wstring_view strPath, RegistryKey& hKey) {
    Node* pNode = KeyFor(hParent);
    if (!pNode)
        return REGISTRY_INVALID_HANDLE;
    std::wstring strTarget = pNode->strPath;
    for (std::wstring_view strPart : SplitPath(strPath)) {
        strTarget = JoinPath(strTarget, strPart);
        pNode = pNode ? pNode->Child(strPart) : nullptr;
    }
    int32_t nCode = REGISTRY_SUCCESS;
    if (Fails(RegistryCall::OPEN_KEY, strTarget, {}, 0, nCode))
        return nCode;
    if (!pNode)
        return REGISTRY_NOT_FOUND;
    hKey = m_nNextKey++;
    m_openKeys.emplace_back(hKey, pNode);
    return REGISTRY_SUCCESS;
}

int32_t MemoryRegistry::EnumKey(RegistryKey hKey, uint32_t nIndex, wchar_t* pName,
                                uint32_t& nNameChars) {
    const Node* pNode = KeyFor(hKey);
    if (!pNode)
        return REGISTRY_INVALID_HANDLE;
    int32_t nCode = REGISTRY_SUCCESS;
    if (Fails(RegistryCall::ENUM_KEY, pNode->strPath, {}, nIndex, nCode))
        return nCode;
    if (!pName)
        return REGISTRY_INVALID_PARAMETER;
    if (nIndex >= pNode->children.size())
        return REGISTRY_NO_MORE_ITEMS;
    return CopyName(pNode->children[nIndex]->strName, pName, nNameChars);
}

int32_t MemoryRegistry::EnumValue(RegistryKey hKey, uint32_t nIndex, wchar_t* pName,
                                  uint32_t& nNameChars, uint32_t& nType, uint8_t* pData,
                                  uint32_t& nDataBytes) {
    const Node* pNode = KeyFor(hKey);
    if (!pNode)
        return REGISTRY_INVALID_HANDLE;
    int32_t nCode = REGISTRY_SUCCESS;
    if (Fails(RegistryCall::ENUM_VALUE, pNode->strPath, {}, nIndex, nCode))
        return nCode;
    if (!pName || !pData)
        return REGISTRY_INVALID_PARAMETER;
    if (nIndex >= pNode->values.size())
        return REGISTRY_NO_MORE_ITEMS;
    const Value& value = pNode->values[nIndex];
    const bool bString = value.nType == REGISTRY_STRING;
    const size_t nNeeded =
        bString ? (value.strText.size() + 1) * sizeof(wchar_t) : sizeof(value.nNumber);
    if (nNameChars < value.strName.size() + 1 || nDataBytes < nNeeded) {
        nNameChars = static_cast<uint32_t>(value.strName.size());
        nDataBytes = static_cast<uint32_t>(nNeeded);
        return REGISTRY_MORE_DATA;
    }
    CopyName(value.strName, pName, nNameChars);
    std::memcpy(pData, bString ? static_cast<const void*>(value.strText.c_str()) : &value.nNumber,
                nNeeded);
    nType = value.nType;
    nDataBytes = static_cast<uint32_t>(nNeeded);
    return REGISTRY_SUCCESS;
}

int32_t MemoryRegistry::QueryString(RegistryKey hKey, std::wstring_view strName, wchar_t* pBuffer,
                                    uint32_t& nChars) {
    const Node* pNode = KeyFor(hKey);
    if (!pNode)
        return REGISTRY_INVALID_HANDLE;
    int32_t nCode = REGISTRY_SUCCESS;
    if (Fails(RegistryCall::QUERY_STRING, pNode->strPath, strName, 0, nCode))
        return nCode;
    if (!pBuffer)
        return REGISTRY_INVALID_PARAMETER;
    const Value* pValue = pNode->FindValue(strName);
    if (!pValue)
        return REGISTRY_NOT_FOUND;
    if (pValue->nType != REGISTRY_STRING)
        return REGISTRY_INVALID_DATATYPE;
    const size_t nNeeded = pValue->strText.size() + 1;
    if (nChars < nNeeded) {
        nChars = static_cast<uint32_t>(nNeeded);
        return REGISTRY_MORE_DATA;
    }
    std::memcpy(pBuffer, pValue->strText.c_str(), nNeeded * sizeof(wchar_t));
    nChars = static_cast<uint32_t>(nNeeded);
    return REGISTRY_SUCCESS;
}

int32_t MemoryRegistry::QueryDword(RegistryKey hKey, std::wstring_view strName, uint32_t& nValue) {
    const Node* pNode = KeyFor(hKey);
    if (!pNode)
        return REGISTRY_INVALID_HANDLE;
    int32_t nCode = REGISTRY_SUCCESS;
    if (Fails(RegistryCall::QUERY_DWORD, pNode->strPath, strName, 0, nCode))
        return nCode;
    const Value* pValue = pNode->FindValue(strName);
    if (!pValue)
        return REGISTRY_NOT_FOUND;
    if (pValue->nType != REGISTRY_DWORD)
        return REGISTRY_INVALID_DATATYPE;
    nValue = pValue->nNumber;
    return REGISTRY_SUCCESS;
}

int32_t MemoryRegistry::CloseKey(RegistryKey hKey) {
    if (hKey == REGISTRY_LOCAL_MACHINE)
        return REGISTRY_SUCCESS;
    auto it = std::find_if(m_openKeys.begin(), m_openKeys.end(),
                           [hKey](const auto& open) { return open.first == hKey; });
    if (it == m_openKeys.end())
        return REGISTRY_INVALID_HANDLE;
    m_openKeys.erase(it);
    return REGISTRY_SUCCESS;
}

// ---- PortMapRegistry ----

PortMapRegistry::PortMapRegistry(PortMap& map) : m_map(map) {}

void PortMapRegistry::Refresh() {
    m_map.Refresh();
}

void PortMapRegistry::Rebuild() {
    m_tree.Clear();
    m_tree.AddKey(L"Drivers\\BuiltIn");
    for (const PortMapEntry& entry : m_map.Entries()) {
        const std::wstring strKey = L"Drivers\\BuiltIn\\Serial" + std::to_wstring(entry.nNumber);
        m_tree.SetString(strKey, L"PREFIX", L"COM");
        m_tree.SetDword(strKey, L"INDEX", static_cast<uint32_t>(entry.nNumber));
        m_tree.SetString(strKey, L"Dll", PORT_DRIVER_DLL);
        m_tree.SetString(strKey, L"FRIENDLYNAME", WideFromUtf8(entry.strFriendlyName));
    }
}

int32_t PortMapRegistry::OpenKey(RegistryKey hParent, std::wstring_view strPath,
                                 RegistryKey& hKey) {
    if (hParent == REGISTRY_LOCAL_MACHINE && m_tree.OpenKeyCount() == 0)
        Rebuild();
    return m_tree.OpenKey(hParent, strPath, hKey);
}

int32_t PortMapRegistry::EnumKey(RegistryKey hKey, uint32_t nIndex, wchar_t* pName,
                                 uint32_t& nNameChars) {
    return m_tree.EnumKey(hKey, nIndex, pName, nNameChars);
}

int32_t PortMapRegistry::EnumValue(RegistryKey hKey, uint32_t nIndex, wchar_t* pName,
                                   uint32_t& nNameChars, uint32_t& nType, uint8_t* pData,
                                   uint32_t& nDataBytes) {
    return m_tree.EnumValue(hKey, nIndex, pName, nNameChars, nType, pData, nDataBytes);
}

int32_t PortMapRegistry::QueryString(RegistryKey hKey, std::wstring_view strName, wchar_t* pBuffer,
                                     uint32_t& nChars) {
    return m_tree.QueryString(hKey, strName, pBuffer, nChars);
}

int32_t PortMapRegistry::QueryDword(RegistryKey hKey, std::wstring_view strName, uint32_t& nValue) {
    return m_tree.QueryDword(hKey, strName, nValue);
}

int32_t PortMapRegistry::CloseKey(RegistryKey hKey) {
    return m_tree.CloseKey(hKey);
}

}  // namespace platform
