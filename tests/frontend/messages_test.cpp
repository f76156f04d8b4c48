// The message table: a row out of place shows one failure's text for another.
#include <gtest/gtest.h>

#include "frontend/messages.h"

TEST(Messages, EveryRowSitsAtItsIdAndHasTextAndCaption) {
    for (int id = 0; id < MessageCount; ++id) {
        const MessageEntry& entry = messageEntry(static_cast<MessageId>(id));
        EXPECT_EQ(id, entry.id);
        EXPECT_NE(nullptr, entry.text);
        EXPECT_NE(nullptr, entry.caption);
    }
}

TEST(Messages, ArgumentIsPlacedLiterally) {
    EXPECT_EQ("The destination folder C:\\100%s\\x does not exist.",
              messageText(MsgFolderMissing, "C:\\100%s\\x"));
    EXPECT_EQ("D:\\a.pdb already exists. Overwrite?", messageText(MsgOverwriteQuestion, "D:\\a.pdb"));
    EXPECT_EQ("Failed drag query file: 12", messageText(MsgDragQueryFailed, "12"));
    EXPECT_EQ("Conversion canceled.", messageText(MsgConversionCanceled, "ignored"));
}
