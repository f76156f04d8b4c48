// frontend/source_destination.cpp -- see source_destination.h.
#include "frontend/source_destination.h"

#include "frontend/text_encoding.h"
#include "frontend/web_io.h"

void ChangeTracker::titleChanged() {
    if (titleSetByPage_) titleSetByPage_ = false;
    else titleEdited_ = true;
}

void ChangeTracker::fileNameChanged() {
    if (fileNameSetByPage_) fileNameSetByPage_ = false;
    else fileNameEdited_ = true;
}

bool ChangeTracker::tick() {
    if (sourceChanged_) {
        quietTicks_ = 1;
        sourceChanged_ = false;
    } else if (quietTicks_ > 0) {
        ++quietTicks_;
    }
    return quietTicks_ > 2;
}

Proposal proposeTitleAndName(const std::string& sourceField, PathFlavor flavor,
                             ChangeTracker& tracker, TitleProbes& probes) {
    Proposal proposal;
    const std::string source = trimBlanks(sourceField);
    if (source.empty()) return proposal;
    if (isWebAddress(source)) {
        // Nothing is fetched to propose: the title and name come from the address.
        const Proposal fromAddress = proposeWebTitleAndName(source);
        if (!tracker.titleEdited()) {
            proposal.title = fromAddress.title;
            tracker.pageWritesTitle();
        }
        if (!tracker.fileNameEdited()) {
            proposal.fileName = fromAddress.fileName;
            tracker.pageWritesFileName();
        }
        tracker.proposed();
        return proposal;
    }
    const PathParts parts = splitPath(source, flavor);
    if (!tracker.titleEdited()) {
        std::optional<std::string> title = probes.docTitle(source);
        if (!title) {
            title = probes.htmlTitle(source, kMaxProbedHtmlTitle);
            if (title && title->empty()) title.reset();
        }
        if (!title) title = firstCharacters(parts.baseName, kMaxBaseNameTitle);
        proposal.title = std::move(title);
        tracker.pageWritesTitle();
    }
    if (!tracker.fileNameEdited()) {
        proposal.fileName = parts.baseName + ".pdb";
        tracker.pageWritesFileName();
    }
    tracker.proposed();
    return proposal;
}

bool commitSourceDestination(const SourceDestinationFields& fields,
                             const std::vector<UserEntry>& users, ConverterSettings& settings,
                             PageValues& handed, MessageSink& messages) {
    uint32_t userId = 0;
    std::string userFolder;
    switch (fields.location) {
        case LocationAutoInstall: {
            if (fields.selectedUser < 0 || static_cast<size_t>(fields.selectedUser) >= users.size()) {
                messages.show(MsgNoValidUser, messageText(MsgNoValidUser));
                return false;
            }
            const UserEntry& user = users[static_cast<size_t>(fields.selectedUser)];
            settings.destinationUserName = user.userName;
            userId = user.userId;
            userFolder = user.userFolder;
            break;
        }
        case LocationSourceFolder:
            break;
        case LocationChosenFolder:
            settings.destinationFolder = fields.folder;
            break;
        default:
            return false;
    }
    settings.destinationLocation = fields.location;
    handed.sourcePath = fields.sourcePath;
    handed.title = fields.title;
    handed.fileName = fields.fileName;
    handed.userId = userId;
    handed.userFolder = userFolder;
    return true;
}

std::optional<std::string> computeDestination(const DestinationRequest& request,
                                              PathFlavor flavor, const FileSystem& files,
                                              MessageSink& messages) {
    std::string folder;
    switch (request.location) {
        case LocationAutoInstall:
            folder = installFolder(request.desktopPath, request.userFolder);
            break;
        case LocationSourceFolder: {
            // A page on the web has no folder here: its book goes to the desktop.
            if (isWebAddress(trimBlanks(request.sourcePath))) {
                folder = request.desktopPath;
                break;
            }
            const PathParts parts = splitPath(trimBlanks(request.sourcePath), flavor);
            folder = parts.drive + parts.folder;
            break;
        }
        case LocationChosenFolder:
            folder = request.destinationFolder;
            break;
        default:
            return std::nullopt;
    }
    folder = trimBlanks(folder);
    // A lone separator is the root: emptying it would put the file in the current
    // directory instead.
    if (folder.size() > 1 && isSeparator(folder.back(), flavor)) folder.pop_back();
    const bool isRoot = folder.size() == 1 && isSeparator(folder[0], flavor);
    const bool isDrive = flavor == PathFlavor::Windows && isBareDrive(folder);
    if (!folder.empty() && !isDrive && !isRoot) {
        const PathLookup found = files.lookup(folder);
        if (found == PathLookup::Missing) {
            messages.show(MsgFolderMissing, messageText(MsgFolderMissing, folder));
            return std::nullopt;
        }
        if (found != PathLookup::Folder) {
            messages.show(MsgNotAFolder, messageText(MsgNotAFolder, folder));
            return std::nullopt;
        }
    }
    if (!folder.empty() && !isSeparator(folder.back(), flavor))
        folder += flavor == PathFlavor::Windows ? '\\' : '/';
    std::string destination = folder + trimBlanks(request.fileName);
    // Windows would hand the book to the device ("NUL" swallows it) and report success.
    if (flavor == PathFlavor::Windows && isWindowsDeviceName(destination)) {
        messages.show(MsgDeviceName, messageText(MsgDeviceName, destination));
        return std::nullopt;
    }
    return destination;
}

// Spelling, then location, then identity, so a missing file or an unknown current
// directory still gets the checks that can be made.
bool sameFile(const std::string& sourcePath, const std::string& destinationPath,
                     PathFlavor flavor, const FileSystem& files) {
    if (flavor == PathFlavor::Windows ? equalIgnoringCase(sourcePath, destinationPath)
                                      : sourcePath == destinationPath)
        return true;
    const std::optional<std::string> source = comparablePath(sourcePath, flavor, files);
    const std::optional<std::string> destination = comparablePath(destinationPath, flavor, files);
    if (source && destination && *source == *destination) return true;
    const std::optional<FileIdentity> sourceId = files.identity(sourcePath);
    const std::optional<FileIdentity> destinationId = files.identity(destinationPath);
    return sourceId && destinationId && *sourceId == *destinationId;
}

bool checkSameName(const std::string& sourcePath, const std::string& destinationPath,
                   PathFlavor flavor, const FileSystem& files, MessageSink& messages) {
    // Opening the destination truncates it before the source is read, so letting the
    // same file through destroys the source.
    if (!sameFile(sourcePath, destinationPath, flavor, files)) return true;
    messages.show(MsgSameName, messageText(MsgSameName));
    return false;
}

bool checkOverwrite(bool forceOverwrite, const std::string& destinationPath,
                    const FileSystem& files, MessageSink& messages) {
    if (forceOverwrite) return true;
    if (files.lookup(destinationPath) == PathLookup::Missing) return true;
    return messages.show(MsgOverwriteQuestion,
                         messageText(MsgOverwriteQuestion, destinationPath));
}

namespace {


// `text` with its percent-escapes decoded when what they spell is UTF-8, else as it is.
std::string decodedName(const std::string& text) {
    std::string decoded;
    for (size_t i = 0; i < text.size(); ++i) {
        const int high = i + 2 < text.size() && text[i] == '%' ? hexDigitValue(text[i + 1]) : -1;
        const int low = high >= 0 ? hexDigitValue(text[i + 2]) : -1;
        if (low < 0) {
            decoded += text[i];
            continue;
        }
        decoded += static_cast<char>(high * 16 + low);
        i += 2;
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(decoded.data());
    for (size_t at = 0; at < decoded.size();) {
        uint32_t codePoint = 0;
        const int length = utf8Sequence(bytes + at, decoded.size() - at, codePoint);
        if (length <= 0 || codePoint < 0x20 || codePoint == '/') return text;
        at += static_cast<size_t>(length);
    }
    return decoded;
}

}  // namespace

Proposal proposeWebTitleAndName(const std::string& address) {
    const size_t scheme = address.find("://");
    const size_t hostStart = scheme == std::string::npos ? 0 : scheme + 3;
    size_t end = address.find_first_of("?#", hostStart);
    if (end == std::string::npos) end = address.size();
    const size_t pathStart = std::min(address.find('/', hostStart), end);
    std::string base;
    const size_t lastSlash = address.rfind('/', end - 1);
    if (lastSlash != std::string::npos && lastSlash >= pathStart && pathStart < end)
        base = decodedName(address.substr(lastSlash + 1, end - lastSlash - 1));
    const size_t dot = base.rfind('.');
    if (dot != std::string::npos && dot > 0) base.erase(dot);
    if (base.empty() || base == "." || base == "..") {
        std::string host = address.substr(hostStart, pathStart - hostStart);
        const size_t at = host.rfind('@');
        if (at != std::string::npos) host.erase(0, at + 1);
        const size_t colon = host.rfind(':');
        if (colon != std::string::npos && host.find(']', colon) == std::string::npos) host.erase(colon);
        base = host.empty() ? "page" : host;
    }
    Proposal proposal;
    proposal.title = firstCharacters(base, kMaxBaseNameTitle);
    proposal.fileName = base + ".pdb";
    return proposal;
}
