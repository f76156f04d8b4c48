// frontend/memory_settings_store.h -- a SettingsStore held in memory, for tests and for
// platforms without a registry. It can hold values of a type the core does not read
// (binary), and it can be told to refuse opening keys or writing values.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

#include "frontend/settings_store.h"

class MemorySettingsStore : public SettingsStore {
public:
    using Binary = std::vector<uint8_t>;
    using Value = std::variant<uint32_t, std::string, Binary>;

    std::unique_ptr<SettingsKey> openForReading(const std::string& keyPath) override;
    std::unique_ptr<SettingsKey> openForWriting(const std::string& keyPath) override;

    // Direct access, bypassing the refusals below.
    void put(const std::string& keyPath, const std::string& name, Value value);
    const Value* find(const std::string& keyPath, const std::string& name) const;
    bool hasKey(const std::string& keyPath) const { return keys_.count(keyPath) != 0; }
    size_t valueCount(const std::string& keyPath) const;

    void refuseReading(bool refuse) { refuseReading_ = refuse; }
    void refuseOpeningForWriting(bool refuse) { refuseWritingOpen_ = refuse; }
    void refuseSettingValues(bool refuse) { refuseSetting_ = refuse; }

private:
    friend class MemorySettingsKey;
    std::map<std::string, std::map<std::string, Value>> keys_;
    bool refuseReading_ = false;
    bool refuseWritingOpen_ = false;
    bool refuseSetting_ = false;
};
