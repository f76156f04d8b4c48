// celconv/celdo_app_info.cpp -- see celdo_app_info.h.
#include "celconv/celdo_app_info.h"

#include <algorithm>

namespace celconv {

void setAppInfoDefaults(CeldoAppInfo& appInfo) {
    appInfo.fieldTypes.fill(kDefaultFieldType);
    appInfo.fieldWidths.fill(kDefaultFieldWidth);
    appInfo.formatTag = kFormatTag;
    appInfo.editFieldWidth = kDefaultEditFieldWidth;
    appInfo.passwordLock = kDefaultPasswordLock;
    appInfo.firstShowColumn = kDefaultFirstShowColumn;
    appInfo.password.clear();
    appInfo.popupStrings.clear();
}

uint32_t popupBlockSize(const CeldoAppInfo& appInfo) {
    uint32_t stringBytes = 0;
    for (const std::string& text : appInfo.popupStrings) stringBytes += text.size() + 1;
    return kAppInfoFixedSize + std::max<uint32_t>(stringBytes + 1, kMinPopupBlockSize);
}

// Copies text into a zero-filled slot, leaving at least its last byte zero.
static void storeText(std::string& block, size_t offset, size_t slotSize, const std::string& text) {
    block.replace(offset, std::min(text.size(), slotSize - 1), text, 0, slotSize - 1);
}

static std::string loadText(const std::string& block, size_t offset, size_t slotSize) {
    const size_t end = block.find('\0', offset);
    return block.substr(offset, std::min(end, offset + slotSize) - offset);
}

std::string encodeAppInfo(const CeldoAppInfo& appInfo) {
    std::string block(popupBlockSize(appInfo), '\0');
    for (int slot = 0; slot < kFieldSlots; ++slot) {
        storeText(block, kFieldNamesOffset + slot * kFieldNameSlotSize, kFieldNameSlotSize,
                  appInfo.fieldNames[slot]);
        storeBig16(block, kFieldTypesOffset + 2 * slot, static_cast<uint16_t>(appInfo.fieldTypes[slot]));
        storeBig16(block, kFieldWidthsOffset + 2 * slot, static_cast<uint16_t>(appInfo.fieldWidths[slot]));
    }
    storeBig16(block, kFieldCountOffset, appInfo.fieldCount);
    storeBig16(block, kFormatTagOffset, appInfo.formatTag);
    storeBig16(block, kEditFieldWidthOffset, static_cast<uint16_t>(appInfo.editFieldWidth));
    storeBig16(block, kPasswordLockOffset, static_cast<uint16_t>(appInfo.passwordLock));
    storeBig16(block, kFirstShowColumnOffset, static_cast<uint16_t>(appInfo.firstShowColumn));
    storeText(block, kPasswordOffset, kPasswordSize, appInfo.password);
    size_t position = kAppInfoFixedSize;
    for (const std::string& text : appInfo.popupStrings) {
        block.replace(position, text.size(), text);
        position += text.size() + 1;  // the zero byte is already there
    }
    return block;
}

void decodeAppInfoFixed(const std::string& bytes, CeldoAppInfo& appInfo) {
    for (int slot = 0; slot < kFieldSlots; ++slot) {
        appInfo.fieldNames[slot] =
            loadText(bytes, kFieldNamesOffset + slot * kFieldNameSlotSize, kFieldNameSlotSize);
        appInfo.fieldTypes[slot] = static_cast<int16_t>(loadBig16(bytes, kFieldTypesOffset + 2 * slot));
        appInfo.fieldWidths[slot] = static_cast<int16_t>(loadBig16(bytes, kFieldWidthsOffset + 2 * slot));
    }
    appInfo.fieldCount = loadBig16(bytes, kFieldCountOffset);
    appInfo.formatTag = loadBig16(bytes, kFormatTagOffset);
    appInfo.editFieldWidth = static_cast<int16_t>(loadBig16(bytes, kEditFieldWidthOffset));
    appInfo.passwordLock = static_cast<int16_t>(loadBig16(bytes, kPasswordLockOffset));
    appInfo.firstShowColumn = static_cast<int16_t>(loadBig16(bytes, kFirstShowColumnOffset));
    appInfo.password = loadText(bytes, kPasswordOffset, kPasswordSize);
}

}  // namespace celconv
