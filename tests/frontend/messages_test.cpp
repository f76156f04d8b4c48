// The message table: a row out of place shows one failure's text for another.
#include <gtest/gtest.h>

#include "engine/io_ops.h"
#include "frontend/messages.h"

TEST(Messages, EveryRowSitsAtItsIdAndHasTextAndCaption) {
    for (int id = 0; id < MessageCount; ++id) {
        const MessageSpec& spec = messageSpec(static_cast<MessageId>(id));
        EXPECT_EQ(id, spec.id);
        EXPECT_NE(nullptr, spec.text);
        EXPECT_NE(nullptr, spec.caption);
    }
}

TEST(Messages, CaptionsIconsAndButtonsOfTheRefusals) {
    struct Row { MessageId id; const char* caption; MessageIcon icon; MessageButtons buttons; };
    const Row rows[] = {
        {MsgUsage, "VimloW32", MessageIcon::Information, MessageButtons::Ok},
        {MsgConversionSucceeded, "VimloW32", MessageIcon::None, MessageButtons::Ok},
        {MsgConversionCanceled, "VimloW32", MessageIcon::None, MessageButtons::Ok},
        {MsgUnknownError, "Conversion Error", MessageIcon::Error, MessageButtons::Ok},
        {MsgNoSourceFile, "Source File", MessageIcon::Exclamation, MessageButtons::Ok},
        {MsgInitializationFailed, "Destination Folder", MessageIcon::Error, MessageButtons::Ok},
        {MsgNoValidUser, "Source/Destination", MessageIcon::Error, MessageButtons::Ok},
        {MsgSameName, "Source and Destination", MessageIcon::Error, MessageButtons::Ok},
        {MsgOverwriteQuestion, "Destination File", MessageIcon::Exclamation, MessageButtons::OkCancel},
        {MsgTabSpaceCountMissing, "Options", MessageIcon::Error, MessageButtons::Ok},
        {MsgInstallFailed, "Installation Error", MessageIcon::Error, MessageButtons::Ok},
        {MsgThreadTerminateFailed, "Convert Cancel", MessageIcon::Error, MessageButtons::Ok},
    };
    for (const Row& row : rows) {
        const MessageSpec& spec = messageSpec(row.id);
        EXPECT_STREQ(row.caption, spec.caption) << spec.text;
        EXPECT_EQ(row.icon, spec.icon) << spec.text;
        EXPECT_EQ(row.buttons, spec.buttons) << spec.text;
    }
}

TEST(Messages, ArgumentIsPlacedLiterally) {
    EXPECT_EQ("The destination folder C:\\100%s\\x does not exist.",
              messageText(MsgFolderMissing, "C:\\100%s\\x"));
    EXPECT_EQ("D:\\a.pdb already exists. Overwrite?", messageText(MsgOverwriteQuestion, "D:\\a.pdb"));
    EXPECT_EQ("Failed drag query file: 12", messageText(MsgDragQueryFailed, "12"));
    EXPECT_EQ("Conversion canceled.", messageText(MsgConversionCanceled, "ignored"));
}

TEST(Messages, StepTextsFollowTheStages) {
    EXPECT_STREQ("Step 1 of 3: Parsing HTML page(s)...", stepText(StageParseHtml));
    EXPECT_STREQ("Step 3 of 3: Compressing text...", stepText(StageCompressHtml));
    EXPECT_STREQ("Step 1 of 2: Preprocessing DOC file...", stepText(StagePreprocessDoc));
    EXPECT_STREQ("Step 1 of 2: Preprocessing text file...", stepText(StagePreprocessText));
    EXPECT_STREQ("Step 2 of 2: Compressing text...", stepText(StageCompressText));
    EXPECT_EQ(nullptr, stepText(StageCurrentPage));
    EXPECT_EQ(nullptr, stepText(-1));
}
