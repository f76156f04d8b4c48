// frontend/messages.cpp -- the one table of user-visible texts. The ids index it; a
// static_assert keeps the two the same length and a test checks each row's id.
#include "frontend/messages.h"

static constexpr const char* kConversionErrorCaption = "Conversion Error";

static const MessageEntry kMessages[] = {
    {MsgUsage,
     "VimloW32 {Options} SourceFileName\n\nOptions:\n"
     "-h | -?   Displays this usage help information\n"
     "-y         Force overwrite of destination file if it exists\n"
     "-u         Do not display successful conversion message",
     kProgramName, MessageIcon::Information, MessageButtons::Ok},
    {MsgConversionSucceeded, "Conversion successfully completed.", kProgramName,
     MessageIcon::None, MessageButtons::Ok},
    {MsgConversionCanceled, "Conversion canceled.", kProgramName, MessageIcon::None,
     MessageButtons::Ok},
    {MsgSourceOpenError, "Error opening source file.", kConversionErrorCaption,
     MessageIcon::Error, MessageButtons::Ok},
    {MsgDestinationOpenError, "Error opening destination file.", kConversionErrorCaption,
     MessageIcon::Error, MessageButtons::Ok},
    {MsgTempOpenError, "Error opening temporary file.", kConversionErrorCaption,
     MessageIcon::Error, MessageButtons::Ok},
    {MsgPreprocessError, "Error during preprocessing.", kConversionErrorCaption,
     MessageIcon::Error, MessageButtons::Ok},
    {MsgConversionError, "Error during conversion.", kConversionErrorCaption,
     MessageIcon::Error, MessageButtons::Ok},
    {MsgUnknownError, "Unknown error.", kConversionErrorCaption, MessageIcon::Error,
     MessageButtons::Ok},
    {MsgNoSourceFile, "You must first select a source file.", "Source File",
     MessageIcon::Exclamation, MessageButtons::Ok},
    {MsgInitializationFailed, "Conversion initialization failed", "Destination Folder",
     MessageIcon::Error, MessageButtons::Ok},
    {MsgThreadCreateFailed, "Failed to create conversion thread.", "Convert",
     MessageIcon::Error, MessageButtons::Ok},
    {MsgThreadTerminateFailed, "Failed to terminate conversion thread.", "Convert Cancel",
     MessageIcon::Error, MessageButtons::Ok},
    {MsgNoValidUser, "A valid user name must be selected for automatic installation.",
     "Source/Destination", MessageIcon::Error, MessageButtons::Ok},
    {MsgFolderMissing, "The destination folder %s does not exist.", "Destination Folder",
     MessageIcon::Error, MessageButtons::Ok},
    {MsgNotAFolder, "%s is not a folder.", "Destination Folder", MessageIcon::Error,
     MessageButtons::Ok},
    {MsgSameName,
     "The source and destination filenames are identical. Please change them so that "
     "they are different.",
     "Source and Destination", MessageIcon::Error, MessageButtons::Ok},
    {MsgOverwriteQuestion, "%s already exists. Overwrite?", "Destination File",
     MessageIcon::Exclamation, MessageButtons::OkCancel},
    // No caption of its own is given for this one; the program's name is the neutral one.
    {MsgDragQueryFailed, "Failed drag query file: %s", kProgramName, MessageIcon::Error,
     MessageButtons::Ok},
    {MsgSlbCountMissing,
     "You must specify how many spaces to substitute for each single line break", "Options",
     MessageIcon::Error, MessageButtons::Ok},
    {MsgTabLbCountMissing,
     "You must specify how many line breaks to substitute for each tab character",
     "Options", MessageIcon::Error, MessageButtons::Ok},
    {MsgTabSpaceCountMissing,
     "You must specify how many spaces to substitute for each tab character", "Options",
     MessageIcon::Error, MessageButtons::Ok},
    {MsgInstallFailed, "Automatic installation failed.", "Installation Error",
     MessageIcon::Error, MessageButtons::Ok},
    {MsgDeviceName,
     "%s names a device, not a file. Please choose another destination file name.",
     "Destination File", MessageIcon::Error, MessageButtons::Ok},
    {MsgSourceRefused, "%s", kConversionErrorCaption, MessageIcon::Error, MessageButtons::Ok},
};
static_assert(sizeof kMessages / sizeof kMessages[0] == MessageCount, "one row per MessageId");

// The step lines in stage order, StageParseHtml to StageCompressText.
static const char* const kStepTexts[] = {
    "Step 1 of 3: Parsing HTML page(s)...",
    "Step 2 of 3: Processing formatting information...",
    "Step 3 of 3: Compressing text...",
    "Step 1 of 2: Preprocessing DOC file...",
    "Step 1 of 2: Preprocessing text file...",
    "Step 2 of 2: Compressing text...",
};

const MessageEntry& messageEntry(MessageId id) {
    if (id < 0 || id >= MessageCount) return kMessages[MsgUnknownError];
    return kMessages[id];
}

std::string messageText(MessageId id, std::string_view argument) {
    std::string text = messageEntry(id).text;
    const size_t slot = text.find("%s");
    if (slot != std::string::npos) text.replace(slot, 2, argument);
    return text;
}

const char* stepText(int32_t stage) {
    if (stage < 0 || stage >= static_cast<int32_t>(sizeof kStepTexts / sizeof kStepTexts[0]))
        return nullptr;
    return kStepTexts[stage];
}
