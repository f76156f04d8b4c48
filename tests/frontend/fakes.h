// tests/frontend/fakes.h -- stand-ins for what the front-end core asks of the world: a
// message sink that records and a file system of listed paths.
#pragma once
#include <cctype>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "frontend/file_system.h"
#include "frontend/messages.h"

struct ShownMessage {
    MessageId id;
    std::string text;
};

class RecordingSink : public MessageSink {
public:
    bool show(MessageId id, const std::string& text) override {
        shown.push_back({id, text});
        return messageEntry(id).buttons == MessageButtons::Ok || answerOk;
    }
    std::vector<MessageId> ids() const {
        std::vector<MessageId> result;
        for (const ShownMessage& message : shown) result.push_back(message.id);
        return result;
    }
    std::vector<ShownMessage> shown;
    bool answerOk = true;
};

// Paths are matched exactly as spelled; tests list every spelling they use.
class FakeFileSystem : public FileSystem {
public:
    PathLookup lookup(const std::string& path) const override {
        const auto found = entries.find(path);
        return found == entries.end() ? PathLookup::Missing : found->second;
    }
    std::optional<FileIdentity> identity(const std::string& path) const override {
        const auto found = identities.find(path);
        if (found == identities.end()) return std::nullopt;
        return found->second;
    }
    std::optional<std::string> currentDirectory() const override { return cwd; }
    std::optional<std::string> currentDirectoryOfDrive(char letter) const override {
        const auto found = driveDirectories.find(static_cast<char>(std::toupper(letter)));
        if (found == driveDirectories.end()) return std::nullopt;
        return found->second;
    }
    std::optional<std::vector<uint8_t>> readFile(const std::string& path) const override {
        const auto found = files.find(path);
        if (found == files.end()) return std::nullopt;
        return found->second;
    }
    std::optional<std::string> realPath(const std::string& path) const override {
        const auto found = realPaths.find(path);
        if (found == realPaths.end()) return std::nullopt;
        return found->second;
    }

    std::map<std::string, PathLookup> entries;
    std::map<std::string, FileIdentity> identities;
    std::optional<std::string> cwd;
    std::map<char, std::string> driveDirectories;  // by upper-case letter
    std::map<std::string, std::vector<uint8_t>> files;
    std::map<std::string, std::string> realPaths;  // as asked for, to what the platform answers
};
