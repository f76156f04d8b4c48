// frontend/win32/registry_store.cpp -- see registry_store.h.
#include "frontend/win32/registry_store.h"

#include <vector>

#include "frontend/win32/wide_text.h"

namespace {

class RegistryKey : public SettingsKey {
public:
    explicit RegistryKey(HKEY key) : key_(key) {}
    ~RegistryKey() override { RegCloseKey(key_); }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    std::optional<uint32_t> getDword(const char* name) const override {
        DWORD type = 0;
        DWORD value = 0;
        DWORD size = sizeof value;
        if (RegQueryValueExW(key_, utf8ToWide(name).c_str(), nullptr, &type,
                             reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
            type != REG_DWORD || size != sizeof value)
            return std::nullopt;
        return value;
    }

    std::optional<std::string> getString(const char* name) const override {
        // The wide call reads any REG_SZ, also one an older, narrow version wrote: the
        // registry keeps them all in UTF-16.
        const std::wstring wideName = utf8ToWide(name);
        DWORD type = 0;
        DWORD size = 0;
        if (RegQueryValueExW(key_, wideName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
            type != REG_SZ || size > kMaxRegistryStringBytes)
            return std::nullopt;
        // One spare zero: the stored data need not end with one, nor fill whole units.
        std::vector<wchar_t> data(size / sizeof(wchar_t) + 1, L'\0');
        DWORD got = size;
        if (RegQueryValueExW(key_, wideName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                             &got) != ERROR_SUCCESS ||
            type != REG_SZ || got > size)
            return std::nullopt;
        data[got / sizeof(wchar_t)] = L'\0';
        return wideToUtf8(data.data());
    }

    bool setDword(const char* name, uint32_t value) override {
        const DWORD data = value;
        return RegSetValueExW(key_, utf8ToWide(name).c_str(), 0, REG_DWORD,
                              reinterpret_cast<const BYTE*>(&data), sizeof data) == ERROR_SUCCESS;
    }

    bool setString(const char* name, const std::string& value) override {
        // UTF-16 with the terminating zero, as the registry's readers expect.
        const std::wstring wide = utf8ToWide(value);
        return RegSetValueExW(key_, utf8ToWide(name).c_str(), 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(wide.c_str()),
                              static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    }

private:
    HKEY key_;
};

}  // namespace

std::unique_ptr<SettingsKey> RegistrySettingsStore::openForReading(const std::string& keyPath) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root_, utf8ToWide(keyPath).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return nullptr;
    return std::make_unique<RegistryKey>(key);
}

std::unique_ptr<SettingsKey> RegistrySettingsStore::openForWriting(const std::string& keyPath) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root_, utf8ToWide(keyPath).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return nullptr;
    return std::make_unique<RegistryKey>(key);
}
