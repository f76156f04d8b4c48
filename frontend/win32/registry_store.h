// frontend/win32/registry_store.h -- the core's SettingsStore on the Windows registry:
// keys below one root (the current user's hive in the program), DWORD and REG_SZ values.
// Strings are stored in UTF-16 and handed over in UTF-8, like key and value names. A
// value of any other registry type reads as missing, so the core keeps its default.
#pragma once
#include <windows.h>

#include "frontend/settings_store.h"

// Strings stored in more bytes than this are not handed over; no value the program reads needs more.
inline constexpr DWORD kMaxRegistryStringBytes = 32768;

class RegistrySettingsStore : public SettingsStore {
public:
    explicit RegistrySettingsStore(HKEY root = HKEY_CURRENT_USER) : root_(root) {}
    std::unique_ptr<SettingsKey> openForReading(const std::string& keyPath) override;
    std::unique_ptr<SettingsKey> openForWriting(const std::string& keyPath) override;

private:
    HKEY root_;
};
