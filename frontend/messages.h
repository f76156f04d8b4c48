// frontend/messages.h -- every text the front ends show the user: message boxes with
// their captions, icons and buttons, the progress step lines and the fixed window texts.
// Both the Windows program and the command line take their wording from here, so a
// message reads the same wherever it appears. Showing a message is the caller's job,
// through a MessageSink.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

enum class MessageIcon { None, Information, Exclamation, Error };
enum class MessageButtons { Ok, OkCancel };

// The position in the table is the id.
enum MessageId : int {
    MsgUsage,
    MsgConversionSucceeded,
    MsgConversionCanceled,
    MsgSourceOpenError,
    MsgDestinationOpenError,
    MsgTempOpenError,
    MsgPreprocessError,
    MsgConversionError,
    MsgUnknownError,
    MsgNoSourceFile,
    MsgInitializationFailed,
    MsgThreadCreateFailed,
    MsgThreadTerminateFailed,
    MsgNoValidUser,
    MsgFolderMissing,       // argument: the folder
    MsgNotAFolder,          // argument: the folder
    MsgSameName,
    MsgOverwriteQuestion,   // argument: the full destination path
    MsgDragQueryFailed,     // argument: the number of characters read
    MsgSlbCountMissing,
    MsgTabLbCountMissing,
    MsgTabSpaceCountMissing,
    MsgInstallFailed,
    MsgDeviceName,          // argument: the full destination path
    MsgSourceRefused,       // argument: the source and why it was refused
    MessageCount
};

struct MessageEntry {
    MessageId id;
    const char* text;  // "%s" marks where the argument goes, at most once
    const char* caption;
    MessageIcon icon;
    MessageButtons buttons;
};

inline constexpr const char* kProgramName = "VimloW32";
inline constexpr const char* kProgressCaption = "Vimlo Convert Progress";
inline constexpr const char* kAboutCaption = "About VimloW32";
inline constexpr const char* kAboutText =
    "This program converts HTML, text, or Doc files to Vimlo format.";
// EPUB comes last: the registry keeps the chosen filter by its position.
inline constexpr const char* kSourceFilterList =
    "HTML Files (*.htm;*.html)|*.htm;*.html|Text Files (*.txt)|*.txt|"
    "Doc Files (*.pdb;*.prc)|*.pdb;*.prc|All Files (*.*)|*.*|EPUB Books (*.epub)|*.epub||";
inline constexpr const char* kFolderPickerTitle = "Please select the destination folder:";

const MessageEntry& messageEntry(MessageId id);
// The message's text with its "%s" replaced by `argument` (taken literally, so a "%" in a
// file name stays as it is); texts without "%s" come back unchanged.
std::string messageText(MessageId id, std::string_view argument = {});
// The step line for stages 0 to 5 (StageParseHtml .. StageCompressText); nullptr for
// any other stage.
const char* stepText(int32_t stage);

// How the core shows a message: a message box in the Windows program, a line on
// standard error in the command line.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    // Shows `text` with the caption, icon and buttons of `id`. Returns true when the user
    // answered OK; a message with only an OK button always returns true.
    virtual bool show(MessageId id, const std::string& text) = 0;
};
