// frontend/win32/message_box.cpp -- see message_box.h.
#include "frontend/win32/message_box.h"

#include "frontend/win32/wide_text.h"

UINT messageBoxStyle(const MessageEntry& entry) {
    UINT style = entry.buttons == MessageButtons::OkCancel ? MB_OKCANCEL : MB_OK;
    switch (entry.icon) {
        case MessageIcon::Information: style |= MB_ICONINFORMATION; break;
        case MessageIcon::Exclamation: style |= MB_ICONEXCLAMATION; break;
        case MessageIcon::Error: style |= MB_ICONERROR; break;
        case MessageIcon::None: break;
    }
    return style;
}

bool WindowMessageSink::show(MessageId id, const std::string& text) {
    const MessageEntry& entry = messageEntry(id);
    const int answer = MessageBoxW(owner_, utf8ToWide(text).c_str(), utf8ToWide(entry.caption).c_str(),
                                   messageBoxStyle(entry));
    return answer == IDOK;
}
