// frontend/win32/message_box.h -- the core's messages shown as Windows message boxes,
// with the caption, icon and buttons of their row in the message table.
#pragma once
#include <windows.h>

#include "frontend/messages.h"

// The MessageBoxW style of a message row.
UINT messageBoxStyle(const MessageEntry& entry);

class WindowMessageSink : public MessageSink {
public:
    explicit WindowMessageSink(HWND owner) : owner_(owner) {}
    bool show(MessageId id, const std::string& text) override;

private:
    HWND owner_;
};
