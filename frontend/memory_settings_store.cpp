// frontend/memory_settings_store.cpp -- see memory_settings_store.h.
#include "frontend/memory_settings_store.h"

class MemorySettingsKey : public SettingsKey {
public:
    MemorySettingsKey(MemorySettingsStore& store, std::string keyPath, bool writable)
        : store_(store), keyPath_(std::move(keyPath)), writable_(writable) {}

    std::optional<uint32_t> getDword(const char* name) const override {
        const MemorySettingsStore::Value* value = store_.find(keyPath_, name);
        if (value == nullptr || !std::holds_alternative<uint32_t>(*value)) return std::nullopt;
        return std::get<uint32_t>(*value);
    }
    std::optional<std::string> getString(const char* name) const override {
        const MemorySettingsStore::Value* value = store_.find(keyPath_, name);
        if (value == nullptr || !std::holds_alternative<std::string>(*value)) return std::nullopt;
        return std::get<std::string>(*value);
    }
    bool setDword(const char* name, uint32_t value) override { return set(name, value); }
    bool setString(const char* name, const std::string& value) override {
        return set(name, value);
    }

private:
    bool set(const char* name, MemorySettingsStore::Value value) {
        if (!writable_ || store_.refuseSetting_) return false;
        store_.put(keyPath_, name, std::move(value));
        return true;
    }

    MemorySettingsStore& store_;
    std::string keyPath_;
    bool writable_;
};

std::unique_ptr<SettingsKey> MemorySettingsStore::openForReading(const std::string& keyPath) {
    if (refuseReading_ || !hasKey(keyPath)) return nullptr;
    return std::make_unique<MemorySettingsKey>(*this, keyPath, false);
}

std::unique_ptr<SettingsKey> MemorySettingsStore::openForWriting(const std::string& keyPath) {
    if (refuseWritingOpen_) return nullptr;
    keys_[keyPath];  // created when missing, as the registry does
    return std::make_unique<MemorySettingsKey>(*this, keyPath, true);
}

void MemorySettingsStore::put(const std::string& keyPath, const std::string& name, Value value) {
    keys_[keyPath][name] = std::move(value);
}

const MemorySettingsStore::Value* MemorySettingsStore::find(const std::string& keyPath,
                                                           const std::string& name) const {
    const auto key = keys_.find(keyPath);
    if (key == keys_.end()) return nullptr;
    const auto value = key->second.find(name);
    return value == key->second.end() ? nullptr : &value->second;
}

size_t MemorySettingsStore::valueCount(const std::string& keyPath) const {
    const auto key = keys_.find(keyPath);
    return key == keys_.end() ? 0 : key->second.size();
}
