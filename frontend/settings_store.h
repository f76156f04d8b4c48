// frontend/settings_store.h -- the registry as the core sees it: keys named by a path
// below the current user's hive, each holding named values that are 32-bit numbers
// (DWORD) or strings. The Windows program backs it with the registry; tests and other
// platforms use MemorySettingsStore.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// One open key. Closing is releasing the object.
class SettingsKey {
public:
    virtual ~SettingsKey() = default;
    // The value when it is present and a DWORD; nullopt when missing or of another type.
    virtual std::optional<uint32_t> getDword(const char* name) const = 0;
    // The value when it is present and a string, without its terminating zero; nullopt
    // when missing, of another type, or too long for the store to hand over.
    virtual std::optional<std::string> getString(const char* name) const = 0;
    // Write one value with its type; false when the store refused it.
    virtual bool setDword(const char* name, uint32_t value) = 0;
    virtual bool setString(const char* name, const std::string& value) = 0;
};

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // nullptr when the key does not exist or cannot be read.
    virtual std::unique_ptr<SettingsKey> openForReading(const std::string& keyPath) = 0;
    // Opens the key for writing, creating it when missing; nullptr on failure.
    virtual std::unique_ptr<SettingsKey> openForWriting(const std::string& keyPath) = 0;
};
