#include "item_registration.h"

#include <algorithm>

namespace {

const WCHAR kItemsKey[] = TEXT("Software\\Microsoft\\Today\\Items");

DWORD QueryDword(HKEY key, const WCHAR* name, DWORD fallback) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    DWORD type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(value))
        return fallback;
    return value;
}

WideString QueryText(HKEY key, const WCHAR* name) {
    DWORD size = 0;
    DWORD type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || size < sizeof(WCHAR))
        return WideString();
    WideString text(size / sizeof(WCHAR), 0);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size) !=
        ERROR_SUCCESS)
        return WideString();
    text.resize(size / sizeof(WCHAR));
    size_t end = text.find(WCHAR{0});
    if (end != WideString::npos) text.resize(end);
    return text;
}

void SetDword(HKEY key, const WCHAR* name, DWORD value) {
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

}  // namespace

LSTATUS ReadTodayItems(std::vector<TodayItemRegistration>* items) {
    items->clear();
    HKEY list = nullptr;
    LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kItemsKey, 0, KEY_READ, &list);
    if (status == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS) return status;
    for (DWORD index = 0;; ++index) {
        WCHAR name[256];
        DWORD name_length = 256;
        status = RegEnumKeyExW(list, index, name, &name_length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) {
            status = ERROR_SUCCESS;
            break;
        }
        if (status != ERROR_SUCCESS) break;
        HKEY item_key = nullptr;
        if (RegOpenKeyExW(list, name, 0, KEY_READ, &item_key) != ERROR_SUCCESS) continue;
        TodayItemRegistration item;
        item.name.assign(name, name_length);
        item.library = QueryText(item_key, TEXT("DLL"));
        item.enabled = QueryDword(item_key, TEXT("Enabled"), 0);
        item.order = QueryDword(item_key, TEXT("Order"), 0);
        item.type = QueryDword(item_key, TEXT("Type"), 0);
        item.options = QueryDword(item_key, TEXT("Options"), 0);
        item.flags = QueryDword(item_key, TEXT("Flags"), 0);
        RegCloseKey(item_key);
        items->push_back(item);
    }
    RegCloseKey(list);
    std::stable_sort(items->begin(), items->end(),
                     [](const TodayItemRegistration& a, const TodayItemRegistration& b) {
                         return a.order != b.order ? a.order < b.order : a.name < b.name;
                     });
    return status;
}

LSTATUS WriteTodayItem(const TodayItemRegistration& item) {
    WideString path = WideString(kItemsKey) + TEXT("\\") + item.name;
    WCHAR no_class[] = TEXT("");
    HKEY key = nullptr;
    LSTATUS status =
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, no_class, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) return status;
    status = RegSetValueExW(key, TEXT("DLL"), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(item.library.c_str()),
                            static_cast<DWORD>((item.library.size() + 1) * sizeof(WCHAR)));
    SetDword(key, TEXT("Enabled"), item.enabled);
    SetDword(key, TEXT("Order"), item.order);
    SetDword(key, TEXT("Type"), item.type);
    SetDword(key, TEXT("Options"), item.options);
    SetDword(key, TEXT("Flags"), item.flags);
    RegCloseKey(key);
    return status;
}

LSTATUS DeleteTodayItem(const WideString& name) {
    HKEY list = nullptr;
    LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kItemsKey, 0, KEY_ALL_ACCESS, &list);
    if (status != ERROR_SUCCESS) return status;
    status = RegDeleteKeyW(list, name.c_str());
    RegCloseKey(list);
    return status;
}
