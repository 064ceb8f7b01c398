// The Today host's list of items: one subkey per item under HKEY_LOCAL_MACHINE
// "Software\Microsoft\Today\Items", naming the item's library ("DLL"), whether it is shown
// ("Enabled"), its place in the list ("Order"), its kind ("Type", 4 for a plug-in item), and
// whether it has an options dialog ("Options").
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "text.h"

struct TodayItemRegistration {
    WideString name;     // the subkey's name, also the item's name
    WideString library;  // full path of the item's library
    DWORD enabled;
    DWORD order;
    DWORD type;
    DWORD options;
    DWORD flags;
};

#define TODAY_ITEM_TYPE_CUSTOM 4

// Every registered item, in the host's order (Order, then name). A missing list is empty.
LSTATUS ReadTodayItems(std::vector<TodayItemRegistration>* items);
// Writes an item's registration, as an installer does.
LSTATUS WriteTodayItem(const TodayItemRegistration& item);
// Removes an item's registration; ERROR_FILE_NOT_FOUND when there is none.
LSTATUS DeleteTodayItem(const WideString& name);
