// frontend/win32/registry_store.cpp -- see registry_store.h.
#include "frontend/win32/registry_store.h"

#include <vector>

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
        if (RegQueryValueExA(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
                ERROR_SUCCESS ||
            type != REG_DWORD || size != sizeof value)
            return std::nullopt;
        return value;
    }

    std::optional<std::string> getString(const char* name) const override {
        DWORD type = 0;
        DWORD size = 0;
        if (RegQueryValueExA(key_, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
            type != REG_SZ || size > kMaxRegistryStringBytes)
            return std::nullopt;
        // One spare zero: the stored data need not end with one.
        std::vector<char> data(size + 1, '\0');
        if (RegQueryValueExA(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                             &size) != ERROR_SUCCESS ||
            type != REG_SZ || size >= data.size())
            return std::nullopt;
        return std::string(data.data());
    }

    bool setDword(const char* name, uint32_t value) override {
        const DWORD data = value;
        return RegSetValueExA(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                              sizeof data) == ERROR_SUCCESS;
    }

    bool setString(const char* name, const std::string& value) override {
        // With the terminating zero, as the registry's readers expect.
        return RegSetValueExA(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                              static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
    }

private:
    HKEY key_;
};

}  // namespace

std::unique_ptr<SettingsKey> RegistrySettingsStore::openForReading(const std::string& keyPath) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root_, keyPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return nullptr;
    return std::make_unique<RegistryKey>(key);
}

std::unique_ptr<SettingsKey> RegistrySettingsStore::openForWriting(const std::string& keyPath) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(root_, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return nullptr;
    return std::make_unique<RegistryKey>(key);
}
