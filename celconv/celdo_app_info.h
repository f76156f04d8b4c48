// celconv/celdo_app_info.h -- CeldoAppInfo, the application information of a Celdo
// database: the 564 fixed bytes (field names, types, widths, editing width, first show
// column, password and its lock) and the popup block after them. Kept in host order
// here; encodeAppInfo and decodeAppInfoFixed convert to and from the file's bytes.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "celconv/celdo_layout.h"

namespace celconv {

struct CeldoAppInfo {
    std::array<std::string, kFieldSlots> fieldNames;  // at most 20 characters each
    std::array<int16_t, kFieldSlots> fieldTypes{};
    uint16_t fieldCount = 0;
    uint16_t formatTag = 0;
    std::array<int16_t, kFieldSlots> fieldWidths{};
    int16_t editFieldWidth = 0;
    int16_t passwordLock = 0;
    int16_t firstShowColumn = 0;
    std::string password;  // empty: no password; at most 11 characters fit the field
    // The popup strings in block order. An empty string is stored as such, but every
    // reader of the block takes the first empty string as the end of the popup data.
    std::vector<std::string> popupStrings;
};

// The values a database gets without an info file (field names and count untouched).
void setAppInfoDefaults(CeldoAppInfo& appInfo);

// Size of the whole application information: 564 + (sum of (string length + 1) over the
// popup strings) + 1, and never less than 564 + 4.
uint32_t popupBlockSize(const CeldoAppInfo& appInfo);

// The popupBlockSize(appInfo) bytes as the database stores them. Names, the password
// and popup strings are cut to what their places hold.
std::string encodeAppInfo(const CeldoAppInfo& appInfo);

// Fills every field but popupStrings from the 564 fixed bytes at the start of `bytes`
// (which must hold at least that many). A name or password without its zero byte ends
// at its slot's end.
void decodeAppInfoFixed(const std::string& bytes, CeldoAppInfo& appInfo);

}  // namespace celconv
